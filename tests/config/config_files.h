#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/station.h"
#include "support/scripted_operator.h"
#include "support/temp_dir.h"

namespace tidewire::config::testing {

using tidewire::testing::ScriptedOperator;
using tidewire::testing::TempDir;

// Lines joined with CR LF after each, as the gateway's settings files are written.
inline std::string CrLfLines(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  return bytes;
}

// A working directory with a ready FBB folder and a station working in it.
class ConfigFilesTest {
 public:
  ConfigFilesTest() : station(op, dir.path()) { std::filesystem::create_directory(fbb_dir()); }

  [[nodiscard]] std::filesystem::path fbb_dir() const { return dir / "fbb"; }

  void Write(std::string_view name, const std::vector<std::string>& lines) {
    tidewire::testing::WriteBytes(dir / name, CrLfLines(lines));
  }

  // A complete TWIRE.CFG whose MailinDIR is the FBB folder.
  [[nodiscard]] std::vector<std::string> GoodConfigLines() const {
    return {fbb_dir().string(),
            "XX0BBS.#TST.DEU.EU",
            "Testcity",
            "XX0BBS",
            "SB EMAIL@AREA",
            "remailer.example",
            "Info one",
            "Info two",
            "INET",
            "smtp.example.net",
            "pop.example.net",
            "news.example.net",
            "gateway",
            "secret",
            "gate@example.net",
            "TRUE",
            "FALSE",
            "30",
            "FALSE",
            "1",
            "TRUE"};
  }

  // GoodConfigLines with line `number` (from 1) replaced.
  void WriteConfigWith(std::size_t number, std::string text) {
    std::vector<std::string> lines = GoodConfigLines();
    lines.at(number - 1) = std::move(text);
    Write("TWIRE.CFG", lines);
  }

  TempDir dir;
  ScriptedOperator op;
  Station station;
};

}  // namespace tidewire::config::testing
