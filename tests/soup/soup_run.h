#pragma once

// Running the real tidewire-soup against the test servers that the ctest fixture started
// (tests/soup/servers), from a station folder of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/scripted_server.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tidewire::soup::testing {

namespace fs = std::filesystem;
using tidewire::testing::ReadBytes;
using tidewire::testing::ScriptedServer;
using tidewire::testing::SilentServer;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

// The servers' ports, users and folders, as the fixture wrote them.
class Servers {
 public:
  static const Servers& Get() {
    static const Servers servers;
    return servers;
  }
  [[nodiscard]] std::string operator[](const std::string& key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) ADD_FAILURE() << key << " missing in " << TIDEWIRE_TEST_SERVERS_ENV;
    return found == values_.end() ? "" : found->second;
  }
  // "127.0.0.1:PORT" of a port key.
  [[nodiscard]] std::string At(const std::string& key, const std::string& scheme = "") const {
    return (scheme.empty() ? "" : scheme + "://") + "127.0.0.1:" + (*this)[key];
  }

  // Drops a message into a POP3 user's Maildir as the delivery agent would.
  void Deliver(const std::string& user, const std::string& name, const std::string& text) const {
    const fs::path maildir = fs::path((*this)["POP3_HOME_ROOT"]) / user / "Maildir";
    const fs::path file = maildir / "new" / name;
    WriteBytes(maildir / "tmp" / name, text);
    fs::rename(maildir / "tmp" / name, file);
    if (::chown(file.c_str(), std::stoi((*this)["POP3_UID"]), std::stoi((*this)["POP3_GID"])) !=
            0 &&
        ::geteuid() == 0) {
      ADD_FAILURE() << "chown " << file;
    }
  }
  // Empties a user's mailbox.
  void EmptyMailbox(const std::string& user) const {
    const fs::path maildir = fs::path((*this)["POP3_HOME_ROOT"]) / user / "Maildir";
    for (const char* sub : {"new", "cur"}) {
      for (const auto& entry : fs::directory_iterator(maildir / sub)) fs::remove(entry.path());
    }
  }
  [[nodiscard]] std::size_t MailboxSize(const std::string& user) const {
    const fs::path maildir = fs::path((*this)["POP3_HOME_ROOT"]) / user / "Maildir";
    std::size_t count = 0;
    for (const char* sub : {"new", "cur"}) {
      for (const auto& entry : fs::directory_iterator(maildir / sub))
        count += entry.is_regular_file();
    }
    return count;
  }
  // The messages the SMTP server stored, in arrival order, whose text holds MARK.
  [[nodiscard]] std::vector<std::string> StoredMail(const std::string& mark) const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator((*this)["SMTP_DIR"])) {
      if (entry.path().extension() == ".eml") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> found;
    for (const fs::path& file : files) {
      std::string text = ReadBytes(file);
      if (text.find(mark) != std::string::npos) found.push_back(std::move(text));
    }
    return found;
  }

 private:
  Servers() {
    std::ifstream in(TIDEWIRE_TEST_SERVERS_ENV);
    std::string line;
    while (std::getline(in, line)) {
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos) values_[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  std::map<std::string, std::string> values_;
};

struct SoupResult {
  int status = -1;
  std::string output;  // stdout and stderr
};

// Runs tidewire-soup in DIR (HOME=DIR, the test CA trusted, a short network time-out).
inline SoupResult RunSoup(const fs::path& dir, const std::vector<std::string>& args,
                          const std::vector<std::string>& extra_env = {}) {
  std::vector<std::string> env = {
      "HOME=" + dir.string(),    "PATH=/usr/bin:/bin", "SSL_CERT_FILE=" + Servers::Get()["CA_FILE"],
      "TIDEWIRE_SOUP_TIMEOUT=5", "TZ=Europe/Berlin",   "LANG=C"};
  for (const std::string& extra : extra_env) {
    const std::string name = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env, [&](const std::string& entry) { return entry.rfind(name, 0) == 0; });
    env.push_back(extra);
  }
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> words = {TIDEWIRE_SOUP_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const fs::path output = dir / ".soup-output";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  SoupResult result;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.output = ReadBytes(output);
  fs::remove(output);
  return result;
}

inline const std::string kTricky =
    "From: Alice <alice@example.com>\n"
    "To: gateway@tidewire.test\n"
    "Subject: dots and froms\n"
    "\n"
    ".a line with a dot\n"
    "..two dots\n"
    ".\n"
    "From the start of a line\n"
    "from POPmail in any case\n"
    ">From already quoted\n"
    "last line\n";

inline const std::string kTrickyInPacket =
    "From: Alice <alice@example.com>\n"
    "To: gateway@tidewire.test\n"
    "Subject: dots and froms\n"
    "\n"
    ".a line with a dot\n"
    "..two dots\n"
    ".\n"
    ">From the start of a line\n"
    ">from POPmail in any case\n"
    ">From already quoted\n"
    "last line\n";

inline std::string Mail(const std::string& subject) {
  return "From: Bob <bob@example.org>\nTo: jane@example.org\nSubject: " + subject + "\n\nHi.\n";
}

// The messages of a SOUP mailbox, without their "From POPmail <date>" lines, which must be
// in ctime's form.
inline std::vector<std::string> Messages(const std::string& mailbox) {
  static const std::regex separator(
      "From POPmail [A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] "
      "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n");
  std::vector<std::string> messages;
  std::size_t pos = 0;
  while (pos < mailbox.size()) {
    const std::size_t lf = mailbox.find('\n', pos);
    const std::string line = mailbox.substr(pos, lf - pos + 1);
    if (!std::regex_match(line, separator)) {
      ADD_FAILURE() << "not a separator: " << line;
      return messages;
    }
    std::size_t next = mailbox.find("\nFrom POPmail ", lf);
    next = next == std::string::npos ? mailbox.size() : next + 1;
    messages.push_back(mailbox.substr(lf + 1, next - lf - 1));
    pos = next;
  }
  return messages;
}

// A fetch run from SERVER as USER (password "secret") with FLAGS before them: the messages of
// 0000000.MSG, which is then removed as the gateway's conversion does.
inline std::vector<std::string> FetchBy(const fs::path& dir, const std::string& server,
                                        const std::string& user,
                                        const std::vector<std::string>& flags,
                                        std::string* output = nullptr, int expected_status = 0) {
  std::vector<std::string> args = flags;
  for (const std::string& word : {server, user, std::string("secret")}) args.push_back(word);
  const SoupResult result = RunSoup(dir, args);
  EXPECT_EQ(result.status, expected_status) << result.output;
  if (output != nullptr) *output = result.output;
  const std::vector<std::string> messages = Messages(ReadBytes(dir / "0000000.MSG"));
  fs::remove(dir / "0000000.MSG");
  return messages;
}

// A reply packet as the gateway writes it: MESSAGES as type b/B, listed in REPLIES.
inline void WritePacket(const fs::path& dir, const std::vector<std::string>& mail,
                        const std::vector<std::string>& news) {
  auto pack = [](const std::vector<std::string>& messages) {
    std::string bytes;
    for (const std::string& m : messages) {
      const auto n = static_cast<std::uint32_t>(m.size());
      bytes += {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                static_cast<char>(n)};
      bytes += m;
    }
    return bytes;
  };
  std::string replies;
  if (!mail.empty()) {
    WriteBytes(dir / "MAIL.MSG", pack(mail));
    replies += "MAIL\tmail\tb\n";
  }
  if (!news.empty()) {
    WriteBytes(dir / "NEWS.MSG", pack(news));
    replies += "NEWS\tnews\tB\n";
  }
  WriteBytes(dir / "REPLIES", replies);
}

}  // namespace tidewire::soup::testing
