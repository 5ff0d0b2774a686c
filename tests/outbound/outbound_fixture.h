#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/station.h"
#include "outbound/export_file.h"
#include "outbound/message_id.h"
#include "support/fbb_import.h"
#include "support/scripted_operator.h"
#include "support/temp_dir.h"

namespace tidewire::outbound {

// One export message as FBB writes it: CR LF lines, ending with "/EX".
[[nodiscard]] std::string ExportText(std::string_view header, std::string_view title,
                                     std::initializer_list<std::string_view> body);

// Whether a line is "Message-ID: <" + 30 letters "a" to "y" + `rest` + ">".
[[nodiscard]] bool IsMessageIdLine(std::string_view line, std::string_view rest);

// A station with a working directory, an FBB folder beside it as MailinDIR, the settings and
// two registered users; AutoGO is on, so no box is shown unless a test switches it off.
class OutboundTest : public ::testing::Test {
 protected:
  static constexpr std::time_t kNow = 1796685337;  // Tue, 8 Dec 2026 00:15:37 +0100 in Berlin

  OutboundTest();

  [[nodiscard]] std::filesystem::path ExportPath() const { return mailin_ / "fbbemail"; }
  void PutExport(std::string_view bytes) const;
  [[nodiscard]] std::string ExportBytes() const;
  void Put(std::string_view name, std::string_view bytes) const;
  [[nodiscard]] std::string Work(std::string_view name) const;
  [[nodiscard]] bool WorkHas(std::string_view name) const;

  // The messages in MAIL.IN as FBB would import them; none may be dropped.
  [[nodiscard]] std::vector<testing::FbbMessage> MailIn() const;

  void Run();
  // What the SOUP client does once the packet went: REPLIES and the packet files are gone.
  void SendPacket() const {
    for (const char* name : {"REPLIES", "MAIL.MSG", "NEWS.MSG"})
      std::filesystem::remove(work_ / name);
  }

  testing::ScriptedOperator op_;
  testing::TempDir dir_;
  std::filesystem::path work_;
  std::filesystem::path mailin_;
  Station station_;
  MessageIdSource ids_{20261207};
};

inline std::string ExportText(std::string_view header, std::string_view title,
                              std::initializer_list<std::string_view> body) {
  std::string text = std::string(header) + "\r\n" + std::string(title) + "\r\n";
  for (std::string_view line : body) text.append(line).append("\r\n");
  return text + "/EX\r\n";
}

inline bool IsMessageIdLine(std::string_view line, std::string_view rest) {
  constexpr std::string_view kStart = "Message-ID: <";
  if (!line.starts_with(kStart) || !line.ends_with(">")) return false;
  line.remove_prefix(kStart.size());
  line.remove_suffix(1);
  if (line.size() != 30 + rest.size() || line.substr(30) != rest) return false;
  for (const char c : line.substr(0, 30)) {
    if (c < 'a' || c > 'y') return false;
  }
  return true;
}

inline OutboundTest::OutboundTest()
    : work_(dir_ / "work"), mailin_(dir_ / "fbb"), station_(op_, dir_ / "work") {
  std::filesystem::create_directories(work_ / "backup");
  std::filesystem::create_directories(mailin_);
  station_.clock = [] { return kNow; };
  station_.AutoGoMode = true;
  GatewayConfig& c = station_.config;
  c.MailinDIR = mailin_.string();
  c.HRoute = "XX0BBS.#TST.DEU.EU";
  c.QTH = "Testcity";
  c.BBSCall = "XX0BBS";
  c.InfoLine = "Info one";
  c.InfoLine2 = "Info two";
  c.AT = "INET";
  c.EmailAccount = "gate@example.net";
  c.ConfigurationCode = "1";
  station_.users.Add({"XX2DEF", "XX0BBS", "Dora Example", "dora@example.org"});
  station_.users.Add({"XX3GHI", "YY0BBS", "Gil Hall", "gil@example.com"});
  station_.bid.Set(7);
}

inline void OutboundTest::PutExport(std::string_view bytes) const {
  testing::WriteBytes(ExportPath(), bytes);
}

inline std::string OutboundTest::ExportBytes() const { return testing::ReadBytes(ExportPath()); }

inline void OutboundTest::Put(std::string_view name, std::string_view bytes) const {
  testing::WriteBytes(work_ / name, bytes);
}

inline std::string OutboundTest::Work(std::string_view name) const {
  return testing::ReadBytes(work_ / name);
}

inline bool OutboundTest::WorkHas(std::string_view name) const {
  return std::filesystem::exists(work_ / name);
}

inline std::vector<testing::FbbMessage> OutboundTest::MailIn() const {
  int dropped = 0;
  auto messages = testing::ImportLikeFbb(Work("MAIL.IN"), dropped);
  EXPECT_EQ(dropped, 0);
  return messages;
}

inline void OutboundTest::Run() { ProcessExportFile(station_, ids_); }

}  // namespace tidewire::outbound
