#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewire::platform {

// The words of a command line: the runs of characters between blanks. Nothing is quoted, so a
// value holding a blank becomes two words.
[[nodiscard]] std::vector<std::string> SplitCommandLine(std::string_view line);

// The program file for a program word as the shell finds it: a word holding a slash names the
// file itself, any other word is looked up in the folders of PATH. Empty when there is no
// executable file of that name.
[[nodiscard]] std::filesystem::path FindProgram(std::string_view word);

// The folder that holds this program's own executable; empty when the system does not say.
[[nodiscard]] std::filesystem::path OwnFolder();

// Sets a variable of this process's environment, which every child started later inherits.
void SetEnvironment(const std::string& name, const std::string& value);

// One child process. A child still running when its object goes is ended by force and reaped,
// so no child outlives the object that started it unnoticed.
class ChildProcess {
 public:
  // Starts `program` with `args` (args[0] is the name the program sees for itself) in
  // `work_dir`, with this process's environment (and `extra_env`, "NAME=value", for this child
  // alone) and no open files but the standard three. Nothing when it cannot be started.
  // With `capture`, what the child writes to its standard output and error comes back through
  // TakeLines instead of going to the gateway's own.
  [[nodiscard]] static std::optional<ChildProcess> Start(
      const std::filesystem::path& program, const std::vector<std::string>& args,
      const std::filesystem::path& work_dir, const std::vector<std::string>& extra_env = {},
      bool capture = false);

  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits until the child has ended, at most `limit` (without a limit when there is none);
  // true once it has ended and been reaped.
  bool WaitFor(std::optional<std::chrono::milliseconds> limit);
  // Ends the child by force and reaps it.
  void Kill();

  // The whole lines the captured child has written so far (without their line ends), without
  // waiting; with `rest`, also an unfinished last line (for a child that has ended).
  [[nodiscard]] std::vector<std::string> TakeLines(bool rest = false);

  [[nodiscard]] bool ended() const { return pid_ < 0; }
  // The exit status of an ended child (128 + the signal for one ended by a signal).
  [[nodiscard]] int exit_status() const { return exit_status_; }
  [[nodiscard]] pid_t pid() const { return pid_; }

 private:
  ChildProcess(pid_t pid, int output) : pid_(pid), output_(output) {}
  // Reaps the child when it has ended; `block` waits for it.
  bool Reap(bool block);

  pid_t pid_ = -1;
  int exit_status_ = -1;
  int output_ = -1;      // the read end of a captured child's output
  std::string pending_;  // an unfinished line
};

}  // namespace tidewire::platform
