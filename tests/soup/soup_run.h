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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace tidewire::soup::testing {

namespace fs = std::filesystem;
using tidewire::testing::ReadBytes;
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

// A server on 127.0.0.1, one connection at a time: greets, then answers each command line with what
// `answer` writes through `send` (false once the client is gone).
class ScriptedServer {
 public:
  using Send = std::function<bool(const std::string&)>;
  using Answer = std::function<void(const std::string& command, const Send& send)>;

  ScriptedServer(std::string greeting, Answer answer)
      : greeting_(std::move(greeting)), answer_(std::move(answer)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }
  [[nodiscard]] std::string At() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  void Serve() {
    for (;;) {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      const Send send = [fd](const std::string& bytes) {
        return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
      };
      send(greeting_);
      std::string pending;
      char chunk[4096];
      for (;;) {
        const std::size_t lf = pending.find('\n');
        if (lf != std::string::npos) {
          std::string line = pending.substr(0, lf);
          pending.erase(0, lf + 1);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          answer_(line, send);
          continue;
        }
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        pending.append(chunk, static_cast<std::size_t>(got));
      }
      ::close(fd);
    }
  }

  std::string greeting_;
  Answer answer_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// A listener that takes connections and never says a word: a dead server.
class SilentServer : public ScriptedServer {
 public:
  SilentServer() : ScriptedServer("", [](const std::string&, const Send&) {}) {}
};

}  // namespace tidewire::soup::testing
