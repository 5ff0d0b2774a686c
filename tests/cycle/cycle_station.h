#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace tidewire::cycle::testing {

using tidewire::testing::ReadBytes;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

namespace fs = std::filesystem;

// An e-mail from a registered user to the gateway, as FBB exports it.
inline constexpr const char* kExportedMail =
    "SP INET @ INET < XX2DEF $2001_XX0BBS\r\n"
    "Greetings from the packet side\r\n"
    "R:261208/0500Z @:XX0BBS.#TST.DEU.EU #:101 [Testcity] $:2001_XX0BBS\r\n"
    "\r\n"
    "#TO: alice@example.com\r\n"
    "Hello Alice, this came over the gateway.\r\n"
    "/EX\r\n";

// One fetched e-mail to the registered user Jane Doe.
inline constexpr const char* kMailForJane =
    "From popmail Mon Dec  7 09:00:00 2026\n"
    "From: Alice Example <alice@example.com>\n"
    "To: Jane Doe <jane@example.org>\n"
    "Subject: Hello Jane\n"
    "\n"
    "Hello from the Internet.\n";

// One fetched article of area 1.
inline constexpr const char* kNewsArticle =
    "#! rnews 100\n"
    "Path: news.example.org!not-for-mail\n"
    "From: Carol <carol@example.org>\n"
    "Newsgroups: comp.os.linux.misc\n"
    "Subject: Kernel news\n"
    "\n"
    "It boots.\n";

// A gateway station in a temporary folder: the demo station's settings, FBB's import folder
// fbb/mail inside it, a "server" folder for the test SOUP client and a "bin" folder on PATH in
// which the client answers to the name souper95. Environment variables the tests change are
// put back at the end.
class CycleStation {
 public:
  CycleStation() {
    fs::copy(fs::path(TIDEWIRE_DEMO_DIR) / "station", root_.path(), fs::copy_options::recursive);
    fs::create_directory(root_ / "backup");
    fs::create_directories(root_ / "server" / "inbox");
    fs::create_directory(root_ / "bin");
    fs::create_symlink(TIDEWIRE_FAKE_SOUP_BINARY, root_ / "bin" / "souper95");
    std::string config = ReadBytes(root_ / "TWIRE.CFG");
    config.replace(config.find("@MAILINDIR@"), 11, MailinDir().string());
    WriteBytes(root_ / "TWIRE.CFG", config);
    // The demo's sample export is the demo's; a test says what FBB exported.
    WriteBytes(Mailin("fbbemail"), "");
    for (const char* name : {"PATH", "HOME", "NNTPSERVER", "TIDEWIRE_SOUP_SERVER",
                             "TIDEWIRE_SOUP_LOG", "TIDEWIRE_SOUP_HANG"}) {
      const char* value = std::getenv(name);
      saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    }
    SetEnv("PATH", (root_ / "bin").string() + ":/usr/bin:/bin");
    SetEnv("TIDEWIRE_SOUP_SERVER", (root_ / "server").string());
    SetEnv("TIDEWIRE_SOUP_LOG", ClientLog().string());
    ::unsetenv("TIDEWIRE_SOUP_HANG");
  }

  ~CycleStation() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

  CycleStation(const CycleStation&) = delete;
  CycleStation& operator=(const CycleStation&) = delete;

  static void SetEnv(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
  }

  [[nodiscard]] const fs::path& WorkDir() const { return root_.path(); }
  [[nodiscard]] fs::path MailinDir() const { return root_ / "fbb" / "mail"; }
  [[nodiscard]] fs::path Work(const std::string& name) const { return root_ / name; }
  [[nodiscard]] fs::path Mailin(const std::string& name) const { return MailinDir() / name; }
  [[nodiscard]] fs::path Backup(const std::string& name) const { return root_ / "backup" / name; }
  [[nodiscard]] fs::path Inbox(const std::string& name) const {
    return root_ / "server" / "inbox" / name;
  }
  [[nodiscard]] fs::path Sent(const std::string& name) const {
    return root_ / "server" / "sent" / name;
  }
  [[nodiscard]] fs::path ClientLog() const { return root_ / "client.log"; }

  // One line per run of the test client, as it logged itself.
  [[nodiscard]] std::vector<std::string> ClientRuns() const {
    std::vector<std::string> runs;
    std::istringstream lines(ReadBytes(ClientLog()));
    for (std::string line; std::getline(lines, line);) runs.push_back(line);
    return runs;
  }

  // The names in a folder, exactly as they are spelt there.
  [[nodiscard]] static std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The Internet brings this mail and news at the next fetch.
  void OnServer(const std::string& mail, const std::string& news) const {
    if (!mail.empty()) WriteBytes(Inbox("0000000.MSG"), mail);
    if (!news.empty()) WriteBytes(Inbox("0000001.MSG"), news);
  }

  void ExportFromFbb(const std::string& bytes) const { WriteBytes(Mailin("fbbemail"), bytes); }

 private:
  TempDir root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace tidewire::cycle::testing
