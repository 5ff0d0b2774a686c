#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console_process.h"
#include "interop/fbb_instance.h"
#include "support/temp_dir.h"

namespace tidewire::interop {

using tidewire::testing::ConsoleResult;
using tidewire::testing::ReadBytes;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

// Skips the test when the peer is missing; scripts/install-deps installs it.
#define SKIP_WITHOUT_FBB()                                                                        \
  do {                                                                                            \
    if (!FbbInstance::Installed()) GTEST_SKIP() << "xfbbd (Debian package fbb) is not installed"; \
  } while (false)

// A gateway station whose MailinDIR is an FBB instance's import folder: the demo station's
// settings (BBS XX0BBS, users XX2DEF and XX3GHI), the test SOUP client on PATH as souper95,
// and its "server" folder standing in for the Internet.
class GatewayStation {
 public:
  explicit GatewayStation(const fs::path& mailin_dir) {
    fs::copy(fs::path(TIDEWIRE_DEMO_DIR) / "station", root_.path(), fs::copy_options::recursive);
    fs::remove_all(root_ / "fbb");
    fs::create_directory(root_ / "backup");
    fs::create_directories(root_ / "server" / "inbox");
    fs::create_directory(root_ / "bin");
    fs::create_symlink(TIDEWIRE_FAKE_SOUP_BINARY, root_ / "bin" / "souper95");
    std::string config = ReadBytes(root_ / "TWIRE.CFG");
    config.replace(config.find("@MAILINDIR@"), 11, mailin_dir.string());
    WriteBytes(root_ / "TWIRE.CFG", config);
    Flag("autogo");
  }

  [[nodiscard]] fs::path Work(const std::string& name) const { return root_ / name; }
  [[nodiscard]] fs::path Inbox(const std::string& name) const {
    return root_ / "server" / "inbox" / name;
  }
  [[nodiscard]] fs::path Sent(const std::string& name) const {
    return root_ / "server" / "sent" / name;
  }
  void Flag(const std::string& name) const { WriteBytes(Work(name), ""); }
  // The last bulletin-ID number issued (TWIREBID.BIN).
  void SetBidCounter(int value) const { WriteBytes(Work("TWIREBID.BIN"), std::to_string(value)); }

  // Replaces line `number` (from 1) of TWIRE.CFG.
  void SetConfigLine(std::size_t number, const std::string& value) const {
    std::vector<std::string> lines = CrLfLines(ReadBytes(Work("TWIRE.CFG")));
    lines.at(number - 1) = value;
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    WriteBytes(Work("TWIRE.CFG"), text);
  }

  // The MAIL.IN of the last pass that wrote one, as the pass kept it in its backup folder.
  [[nodiscard]] std::string BackupMailIn() const {
    for (const auto& entry : fs::directory_iterator(root_ / "backup")) {
      std::string name = entry.path().filename().string();
      std::transform(name.begin(), name.end(), name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (name == "mail.in") return ReadBytes(entry.path());
    }
    return "";
  }

  // The real SOUP client as souper95, instead of the scripted one; ENV is added to each pass.
  void UseRealClient(std::vector<std::string> env) {
    fs::remove(root_ / "bin" / "souper95");
    fs::create_symlink(TIDEWIRE_SOUP_BINARY, root_ / "bin" / "souper95");
    extra_env_ = std::move(env);
  }

  // Each pass runs as USER, who then owns the station, as the packaged service does.
  void RunAsUser(tidewire::testing::RunAs user) {
    for (const auto& entry : fs::recursive_directory_iterator(root_.path())) {
      if (::lchown(entry.path().c_str(), user.uid, user.gid) != 0)
        throw std::runtime_error("chown");
    }
    if (::chown(root_.path().c_str(), user.uid, user.gid) != 0) throw std::runtime_error("chown");
    user_ = user;
  }
  // ENV is added to each pass.
  void AddEnv(const std::vector<std::string>& env) {
    extra_env_.insert(extra_env_.end(), env.begin(), env.end());
  }

  [[nodiscard]] const fs::path& Root() const { return root_.path(); }

  // One AutoGO pass of tidewire-console, ended by itself.
  [[nodiscard]] ConsoleResult Pass() const {
    std::vector<std::string> env = {"PATH=" + (root_ / "bin").string() + ":/usr/bin:/bin",
                                    "TIDEWIRE_SOUP_SERVER=" + (root_ / "server").string(),
                                    "TIDEWIRE_SOUP_LOG=" + (root_ / "client.log").string()};
    env.insert(env.end(), extra_env_.begin(), extra_env_.end());
    return tidewire::testing::RunConsoleWith(root_.path(), "", env, user_);
  }

 private:
  TempDir root_;
  std::vector<std::string> extra_env_;
  std::optional<tidewire::testing::RunAs> user_;
};

// A pass that went to its end.
inline ::testing::AssertionResult Completed(const ConsoleResult& result) {
  if (result.exit_status == 0 && result.output.find("- COMPLETED -") != std::string::npos) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pass ended with " << result.exit_status << ":\n"
                                       << result.output;
}

// A SOUP mailbox entry as the client leaves it (LF lines).
inline std::string SoupMail(const std::string& to, const std::string& subject,
                            const std::vector<std::string>& body,
                            const std::string& from = "Alice Example <alice@example.com>") {
  std::string mail = "From popmail Mon Dec  7 09:00:00 2026\nFrom: " + from + "\nTo: " + to +
                     "\nSubject: " + subject + "\n\n";
  for (const std::string& line : body) mail += line + "\n";
  return mail;
}

// One article of an rnews batch.
inline std::string RnewsArticle(const std::string& from, const std::string& subject,
                                const std::vector<std::string>& body) {
  std::string article = "Path: news.example.org!not-for-mail\nFrom: " + from +
                        "\nNewsgroups: comp.os.linux.misc\nSubject: " + subject + "\n\n";
  for (const std::string& line : body) article += line + "\n";
  return "#! rnews " + std::to_string(article.size()) + "\n" + article;
}

// A message in the form LinFBB's forward to a file writes it: header, title, FBB's R: line,
// the From:/To block for mail that had no R: line, the body, "/EX"; CR LF lines.
inline std::string FbbExported(const std::string& to, const std::string& from, long number,
                               const std::string& title, const std::vector<std::string>& body) {
  const std::string bid = std::to_string(number) + "_XX0BBS";
  std::string text = "SP " + to + " @ INET < " + from + " $" + bid + "\r\n" + title + "\r\n" +
                     "R:261208/0500Z @:XX0BBS.#TST.DEU.EU #:" + std::to_string(number) +
                     " [Testcity] $:" + bid + "\r\n\r\nFrom: " + from +
                     "@XX0BBS.#TST.DEU.EU\r\nTo  : " + to + "@INET\r\n\r\n";
  for (const std::string& line : body) text += line + "\r\n";
  return text + "/EX\r\n";
}

// A message as the gateway wrote it into MAIL.IN, and what FBB should store for it.
struct WrittenMessage {
  std::string header;
  std::string title;
  std::vector<std::string> body;
};

// The messages of a MAIL.IN the gateway wrote: header, title, body up to the line "/EX".
// Anything else (a line outside a message, a message without end) is a fault, in `faults`.
std::vector<WrittenMessage> ReadWrittenMessages(const std::string& bytes, std::string& faults);

// The record FBB should make of a written message (upper-cased fields, own route cleared,
// title stripped of trailing blanks and control characters, then cut to 60); number and status are
// not predicted.
FbbRecord ExpectedRecord(const WrittenMessage& message);

// Whether FBB stored every written message once, in order, with the expected record fields,
// the same number of body lines and the same body bytes; `stored` is ImportedMessages().
::testing::AssertionResult StoredAsWritten(const std::vector<WrittenMessage>& written,
                                           const std::vector<FbbRecord>& stored,
                                           const FbbInstance& fbb);

}  // namespace tidewire::interop
