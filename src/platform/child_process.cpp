#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <utility>

extern char** environ;

namespace tidewire::platform {

namespace {

bool IsExecutableFile(const std::filesystem::path& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The child starts with every signal at its default and none blocked, whatever the gateway
// ignores or blocks itself, in a process group of its own, so that ending it by force also ends
// what it started (a client that is a script around the real one).
bool PrepareAttributes(posix_spawnattr_t& attr) {
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  return posix_spawnattr_setsigdefault(&attr, &all) == 0 &&
         posix_spawnattr_setsigmask(&attr, &none) == 0 &&
         posix_spawnattr_setpgroup(&attr, 0) == 0 &&
         posix_spawnattr_setflags(
             &attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP) == 0;
}

int StatusOf(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start < line.size()) {
    start = line.find_first_not_of(' ', start);
    if (start == std::string_view::npos) break;
    std::size_t end = line.find(' ', start);
    if (end == std::string_view::npos) end = line.size();
    words.emplace_back(line.substr(start, end - start));
    start = end;
  }
  return words;
}

std::filesystem::path FindProgram(std::string_view word) {
  if (word.empty()) return {};
  if (word.find('/') != std::string_view::npos) {
    return IsExecutableFile(std::filesystem::path(word)) ? std::filesystem::path(word)
                                                         : std::filesystem::path();
  }
  const char* path_variable = std::getenv("PATH");
  const std::string_view folders = path_variable != nullptr ? path_variable : "/usr/bin:/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = folders.find(':', start);
    const std::string_view folder = folders.substr(start, colon - start);
    // An empty entry means the current folder, as for the shell.
    const std::filesystem::path candidate =
        (folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder)) / word;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    start = colon + 1;
  }
}

std::filesystem::path OwnFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return self.parent_path();
}

void SetEnvironment(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

std::optional<ChildProcess> ChildProcess::Start(const std::filesystem::path& program,
                                                const std::vector<std::string>& args,
                                                const std::filesystem::path& work_dir,
                                                const std::vector<std::string>& extra_env,
                                                bool capture) {
  std::vector<std::string> words = args.empty() ? std::vector<std::string>{program} : args;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  // The extra variables replace those of the same name.
  std::vector<std::string> extra = extra_env;
  std::vector<char*> envp;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::string_view name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& mine : extra) replaced = replaced || mine.starts_with(name);
    if (!replaced) envp.push_back(*entry);
  }
  for (std::string& mine : extra) envp.push_back(mine.data());
  envp.push_back(nullptr);

  int pipe_ends[2] = {-1, -1};
  if (capture && ::pipe2(pipe_ends, O_CLOEXEC) != 0) return std::nullopt;
  const auto close_pipe = [&pipe_ends] {
    for (int& end : pipe_ends) {
      if (end >= 0) ::close(std::exchange(end, -1));
    }
  };
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    close_pipe();
    return std::nullopt;
  }
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    close_pipe();
    return std::nullopt;
  }
  bool ready = PrepareAttributes(attr) &&
               (!capture ||
                (posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO) == 0 &&
                 posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDERR_FILENO) == 0)) &&
               posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0 &&
               posix_spawn_file_actions_addchdir_np(&actions, work_dir.c_str()) == 0;
  pid_t pid = -1;
  if (ready) {
    ready = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data()) == 0;
  }
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (capture) ::close(std::exchange(pipe_ends[1], -1));
  if (!ready) {
    close_pipe();
    return std::nullopt;
  }
  if (capture) ::fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);
  return ChildProcess(pid, capture ? std::exchange(pipe_ends[0], -1) : -1);
}

std::vector<std::string> ChildProcess::TakeLines(bool rest) {
  // A line longer than this is handed on in pieces, so no child can fill the memory.
  constexpr std::size_t kLongestLine = 64 * 1024;
  std::vector<std::string> lines;
  if (output_ >= 0) {
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(output_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      pending_.append(buffer, static_cast<std::size_t>(got));
      if (pending_.size() > 16 * kLongestLine) break;  // the rest at the next call
    }
  }
  std::size_t start = 0;
  for (;;) {
    std::size_t end = pending_.find('\n', start);
    if (end == std::string::npos && pending_.size() - start >= kLongestLine)
      end = start + kLongestLine;
    if (end == std::string::npos) break;
    std::string line = pending_.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + (end < pending_.size() && pending_[end] == '\n' ? 1 : 0);
  }
  pending_.erase(0, start);
  if (rest && !pending_.empty()) lines.push_back(std::exchange(pending_, std::string()));
  return lines;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) Kill();
  if (output_ >= 0) ::close(output_);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      exit_status_(other.exit_status_),
      output_(std::exchange(other.output_, -1)),
      pending_(std::move(other.pending_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    if (pid_ > 0) Kill();
    if (output_ >= 0) ::close(output_);
    pid_ = std::exchange(other.pid_, -1);
    exit_status_ = other.exit_status_;
    output_ = std::exchange(other.output_, -1);
    pending_ = std::move(other.pending_);
  }
  return *this;
}

bool ChildProcess::Reap(bool block) {
  if (pid_ < 0) return true;
  int status = 0;
  pid_t done;
  do {
    done = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done == 0) return false;
  // A child that cannot be waited for any more (ECHILD) is gone all the same.
  exit_status_ = done == pid_ ? StatusOf(status) : -1;
  pid_ = -1;
  return true;
}

bool ChildProcess::WaitFor(std::optional<std::chrono::milliseconds> limit) {
  if (!limit) return Reap(true);
  const auto deadline = std::chrono::steady_clock::now() + *limit;
  // Short steps first, so a child that ends at once is seen at once.
  std::chrono::milliseconds step(1);
  for (;;) {
    if (Reap(false)) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    std::this_thread::sleep_for(std::min(step, left + std::chrono::milliseconds(1)));
    step = std::min(step * 2, std::chrono::milliseconds(50));
  }
}

void ChildProcess::Kill() {
  if (pid_ < 0) return;
  ::kill(-pid_, SIGKILL);
  ::kill(pid_, SIGKILL);
  (void)Reap(true);
}

}  // namespace tidewire::platform
