#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/holds.h"

namespace tidewire::testing {

// What a finished run of the console program left.
struct ConsoleResult {
  std::string output;  // stdout and stderr, interleaved as written
  int exit_status = -1;
  long peak_kib = 0;  // the program's largest resident size
};

// A user and group a child runs as, instead of the test's own.
struct RunAs {
  uid_t uid;
  gid_t gid;
};

// The real tidewire-console binary as a child process in a working directory, with its own
// configuration folder so no INI file of the machine is read.
class ConsoleProcess {
 public:
  // `extra_env` entries ("NAME=value") are added to the child's small fixed environment.
  explicit ConsoleProcess(const std::filesystem::path& work_dir,
                          const std::vector<std::string>& extra_env = {},
                          std::optional<RunAs> user = std::nullopt) {
    int in[2];
    int out[2];
    signal(SIGPIPE, SIG_IGN);  // a child that ended early must fail the test, not kill it
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    // Everything the child needs is made before fork: only exec-safe calls follow it.
    const std::string config = "XDG_CONFIG_HOME=" + (work_dir / ".config").string();
    const std::string home = "HOME=" + work_dir.string();
    std::vector<std::string> env = {config, home, "TZ=Europe/Berlin", "LANG=C", "LC_ALL=C"};
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string binary = TIDEWIRE_CONSOLE_BINARY;
    char* argv[] = {binary.data(), nullptr};
    const std::string dir = work_dir.string();
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      if (user &&
          (setgroups(0, nullptr) != 0 || setgid(user->gid) != 0 || setuid(user->uid) != 0)) {
        _exit(125);
      }
      if (chdir(dir.c_str()) != 0) _exit(126);
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      execve(binary.c_str(), argv, envp.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }

  ~ConsoleProcess() {
    if (stdin_ >= 0) close(stdin_);
    if (stdout_ >= 0) close(stdout_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  ConsoleProcess(const ConsoleProcess&) = delete;
  ConsoleProcess& operator=(const ConsoleProcess&) = delete;

  // Sends input lines; the child reads them when it gets to them.
  void Send(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = write(stdin_, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw std::runtime_error("write to the console failed");
      done += static_cast<std::size_t>(n);
    }
  }

  // Ends the input.
  void CloseInput() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
  }

  // Reads output until it contains `text`; false when the output ends or time runs out first.
  bool WaitForOutput(const std::string& text) {
    while (output_.find(text) == std::string::npos) {
      if (ReadSome() != Read::kData) return false;
    }
    return true;
  }

  // Closes the input, reads all output and waits for the exit.
  ConsoleResult Finish() {
    CloseInput();
    Read last;
    do {
      last = ReadSome();
    } while (last == Read::kData);
    if (last == Read::kTimeout) kill(pid_, SIGKILL);  // a hang shows as a killed child
    int status = 0;
    struct rusage usage {};
    wait4(pid_, &status, 0, &usage);
    pid_ = -1;
    return {output_, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            usage.ru_maxrss};
  }

  // Kills the program at once (SIGKILL), as a power cut would stop it.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  const std::string& output() const { return output_; }

 private:
  enum class Read { kData, kEnd, kTimeout };

  // One read with a time limit.
  Read ReadSome() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    pollfd fd{stdout_, POLLIN, 0};
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return Read::kTimeout;
      const int ready = poll(&fd, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) return Read::kTimeout;
      if (ready < 0) return Read::kEnd;
      char buffer[4096];
      const ssize_t n = read(stdout_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Read::kEnd;
      output_.append(buffer, static_cast<std::size_t>(n));
      return Read::kData;
    }
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string output_;
};

// Runs the console with the whole input given at once and waits for its end.
inline ConsoleResult RunConsoleWith(const std::filesystem::path& work_dir, const std::string& input,
                                    const std::vector<std::string>& extra_env = {},
                                    std::optional<RunAs> user = std::nullopt) {
  ConsoleProcess process(work_dir, extra_env, user);
  process.Send(input);
  return process.Finish();
}

// How often `part` stands in `text` (overlapping ones counted).
inline int Occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

}  // namespace tidewire::testing
