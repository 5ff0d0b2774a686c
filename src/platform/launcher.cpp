#include "platform/launcher.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "platform/child_process.h"

extern char** environ;

namespace tidewire::platform {
namespace {

// Starts PROGRAM with ARGS detached (a grandchild of a short-lived child), so nothing is left
// for this process to reap and the program outlives the gateway.
bool StartDetached(const std::filesystem::path& program, std::vector<std::string> args) {
  if (program.empty()) return false;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t middle = ::fork();
  if (middle < 0) return false;
  if (middle == 0) {
    ::setsid();
    pid_t pid = 0;
    const int started = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    ::_exit(started == 0 ? 0 : 1);
  }
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool LaunchEditor(const std::filesystem::path& file) {
  for (const char* word : {"notepad.exe", "notepad"}) {
    const std::filesystem::path editor = FindProgram(word);
    if (!editor.empty()) return StartDetached(editor, {word, file.string()});
  }
  return OpenWithDesktop(file.string());
}

bool OpenWithDesktop(const std::string& target) {
  return StartDetached(FindProgram("xdg-open"), {"xdg-open", target});
}

}  // namespace tidewire::platform
