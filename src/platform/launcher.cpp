#include "platform/launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/child_process.h"

extern char** environ;

namespace tidewire::platform {
namespace {

// How long a handler may take to say it failed; one still running then has started something.
constexpr std::chrono::milliseconds kFailureWindow(2000);

// Starts PROGRAM with ARGS detached (a grandchild of a short-lived child), so nothing is left
// for this process to reap and the program outlives the gateway. The middle child watches the
// program for a moment: a handler that finds nothing to open ends at once with an error, which
// comes back as the reason; one that keeps running, or ends well, counts as started.
std::string StartDetached(const std::filesystem::path& program, std::vector<std::string> args) {
  if (program.empty()) return "no program to open it (" + args.front() + " is not installed)";
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int report[2];
  int errors[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return "cannot start " + args.front();
  if (::pipe2(errors, O_CLOEXEC) != 0) {
    ::close(report[0]);
    ::close(report[1]);
    return "cannot start " + args.front();
  }
  const pid_t middle = ::fork();
  if (middle < 0) {
    for (int fd : {report[0], report[1], errors[0], errors[1]}) ::close(fd);
    return "cannot start " + args.front();
  }
  if (middle == 0) {
    ::setsid();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      static const char kNotStarted[] = "could not be started";
      (void)!::write(report[1], kNotStarted, sizeof kNotStarted - 1);
      ::_exit(1);
    }
    ::close(errors[1]);
    const auto deadline = std::chrono::steady_clock::now() + kFailureWindow;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) ::_exit(0);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) ::_exit(0);
    char words[400];
    ssize_t got = ::read(errors[0], words, sizeof words);
    if (got <= 0) {
      static const char kFailed[] = "it ended with an error";
      (void)!::write(report[1], kFailed, sizeof kFailed - 1);
    } else {
      (void)!::write(report[1], words, static_cast<std::size_t>(got));
    }
    ::_exit(1);
  }
  ::close(report[1]);
  ::close(errors[0]);
  ::close(errors[1]);
  int status = 0;
  // Only an interrupted wait is waited again: ECHILD would never end.
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  std::string why;
  char buffer[400];
  ssize_t got;
  while ((got = ::read(report[0], buffer, sizeof buffer)) > 0)
    why.append(buffer, static_cast<std::size_t>(got));
  ::close(report[0]);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' '))
    why.pop_back();
  return why.empty() ? args.front() + " failed" : why;
}

}  // namespace

std::string LaunchEditor(const std::filesystem::path& file) {
  for (const char* word : {"notepad.exe", "notepad"}) {
    const std::filesystem::path editor = FindProgram(word);
    if (!editor.empty()) return StartDetached(editor, {word, file.string()});
  }
  return OpenWithDesktop(file.string());
}

std::string OpenWithDesktop(const std::string& target) {
  return StartDetached(FindProgram("xdg-open"), {"xdg-open", target});
}

}  // namespace tidewire::platform
