#include "soup/sasl.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "soup/local_files.h"
#include "soup/protocol.h"
#include "soup/runs.h"
#include "soup/soup_error.h"

extern char** environ;

namespace tidewire::soup {
namespace {

constexpr std::size_t kMaxTokenOutput = 64 * 1024;
constexpr auto kTokenCommandTime = std::chrono::seconds(60);

// The command reaches the shell through its environment: no command line shows it.
constexpr const char* kCommandVariable = "TIDEWIRE_TOKEN_COMMAND";

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Runs COMMAND with /bin/sh here; its standard output, at most kMaxTokenOutput bytes.
std::string RunTokenCommand(const std::string& command) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw SoupError("TOKEN.CMD: no pipe for its output");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> env_text = {std::string(kCommandVariable) + "=" + command};
  std::vector<char*> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, kCommandVariable, std::strlen(kCommandVariable)) != 0) {
      env.push_back(*entry);
    }
  }
  env.push_back(env_text[0].data());
  env.push_back(nullptr);
  char shell[] = "/bin/sh";
  char dash_c[] = "-c";
  char script[] = "eval \"$TIDEWIRE_TOKEN_COMMAND\"";
  char* argv[] = {shell, dash_c, script, nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, shell, &actions, nullptr, argv, env.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    throw SoupError(std::string("TOKEN.CMD: /bin/sh cannot be started: ") + std::strerror(spawned));
  }
  std::string output;
  bool timed_out = false;
  const auto end = std::chrono::steady_clock::now() + kTokenCommandTime;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd waiting{pipe_fds[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) == 0) {
      timed_out = true;
      break;
    }
    char chunk[4096];
    const ssize_t got = ::read(pipe_fds[0], chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (output.size() < kMaxTokenOutput) output.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(pipe_fds[0]);
  if (timed_out) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timed_out) {
    throw SoupError("TOKEN.CMD gave no token within 60 seconds: it was stopped");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw SoupError("TOKEN.CMD failed (" +
                    (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                       : "signal " + std::to_string(WTERMSIG(status))) +
                    "): no token, no login");
  }
  return output;
}

// RFC 7628's saslname: "," and "=" are escaped.
std::string SaslName(const std::string& user) {
  std::string out;
  for (const char c : user) {
    if (c == ',') {
      out += "=2C";
    } else if (c == '=') {
      out += "=3D";
    } else {
      out += c;
    }
  }
  return out;
}

// What a refusing server's challenge holds: for OAuth2 a base64 JSON error, shown decoded.
std::string Detail(const std::string& challenge) {
  const std::optional<std::string> decoded = FromBase64(challenge);
  std::string text = decoded ? *decoded : challenge;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
  }
  return text;
}

// A command file others may change would run their commands as the gateway's user.
void RefuseIfOthersMayChange(const std::string& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return;
  if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    throw SoupError(std::string("TOKEN.CMD may be changed by other users (owner ") +
                    std::to_string(info.st_uid) + ", mode " + mode +
                    "): not run; chmod go-w TOKEN.CMD as its owner");
  }
}

}  // namespace

Credentials LoginFor(const ServerAddress& address, const Credentials& given) {
  Credentials login = given;
  if (!address.user.empty()) login.user = address.user;
  // A user in the URL without ":password" takes the password given beside it.
  if (address.has_password) login.password = address.password;
  login.mechanism = address.mechanism;
  return login;
}

std::string AccessToken(const Credentials& login) {
  const std::string file = FindIgnoringCase(".", kTokenCommandFile);
  RefuseIfOthersMayChange(file);
  const std::optional<std::string> text = ReadSmallFile(file);
  if (!text) {
    if (login.password.empty()) {
      throw SoupError(std::string("an ") + login.mechanism +
                      " login needs an access token: no TOKEN.CMD in the station and no"
                      " password");
    }
    return login.password;
  }
  const std::string command = FirstLine(*text);
  if (command.find_first_not_of(" \t") == std::string::npos) {
    throw SoupError("TOKEN.CMD holds no command in its first line");
  }
  const std::string token = FirstLine(RunTokenCommand(command));
  if (token.empty()) throw SoupError("TOKEN.CMD printed no token in its first line");
  KeepSecret(token);
  return token;
}

std::string InitialResponse(const std::string& mechanism, const Credentials& login,
                            const std::string& secret, const ServerAddress& address) {
  std::string raw;
  if (mechanism == "XOAUTH2") {
    raw = "user=" + login.user + "\x01" + "auth=Bearer " + secret + "\x01\x01";
  } else if (mechanism == "OAUTHBEARER") {
    raw = "n,a=" + SaslName(login.user) + ",\x01" + "host=" + address.host + "\x01" +
          "port=" + std::to_string(address.port) + "\x01" + "auth=Bearer " + secret + "\x01\x01";
  } else {
    raw = std::string(1, '\0') + login.user + '\0' + secret;
  }
  std::string encoded = Base64(raw);
  KeepSecret(encoded);
  return encoded;
}

SaslWire::Step SaslWire::Start(const std::string& mechanism,
                               const std::optional<std::string>& initial) {
  // An empty initial response is "=" (RFC 4954, 5034, 4959).
  connection_.Write(command_ + " " + mechanism +
                    (initial ? " " + (initial->empty() ? std::string("=") : *initial) : "") +
                    "\r\n");
  return Await();
}

SaslWire::Step SaslWire::Answer(const std::string& response) {
  connection_.Write(response + "\r\n");
  return Await();
}

void SaslLogIn(SaslWire& wire, const Credentials& login, const ServerAddress& address,
               std::size_t one_step_limit, const std::string& server_name) {
  const std::string mechanism = login.mechanism.empty() ? "PLAIN" : login.mechanism;
  const std::string secret = login.mechanism.empty() ? login.password : AccessToken(login);
  const std::string response = InitialResponse(mechanism, login, secret, address);
  const bool one_step = response.size() <= one_step_limit;
  SaslWire::Step step = wire.Start(mechanism, one_step ? std::optional(response) : std::nullopt);
  if (!one_step && step.more) step = wire.Answer(response);
  std::string detail;
  if (step.more) {
    // A refusal in a challenge (RFC 7628 and XOAUTH2): it is answered as each wants, then the
    // server ends the exchange.
    detail = Detail(step.text);
    step = wire.Answer(mechanism == "OAUTHBEARER" ? "AQ==" : "");
    if (step.more) step = wire.Answer("*");
  }
  if (!step.accepted) {
    throw SoupError(server_name + " refused the " +
                    (login.mechanism.empty() ? "" : mechanism + " ") + "login of " + login.user +
                    ": " + step.text + (detail.empty() ? "" : " (" + detail + ")"));
  }
}

std::optional<std::string> FromBase64(std::string_view text) {
  static constexpr std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    const std::size_t value = kDigits.find(c);
    if (value == std::string_view::npos) return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

}  // namespace tidewire::soup
