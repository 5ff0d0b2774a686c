#include "support/bench_support.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <stdexcept>

extern char** environ;

namespace tidewire::bench {

Answer QuietOperator::ShowBox(BoxKind, Buttons buttons, std::string_view) {
  return buttons == Buttons::kYesNo ? Answer::kYes : Answer::kOk;
}

double SecondsForCp(const std::filesystem::path& file) {
  const std::string from = file.string();
  const std::string to = from + ".cp";
  const char* argv[] = {"cp", from.c_str(), to.c_str(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    throw std::runtime_error("cannot start cp");
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = SecondsSince(start);
  std::filesystem::remove(to);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("cp failed");
  return seconds;
}

std::int64_t PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
}

std::filesystem::path MakeBenchDir(const std::string& name) {
  std::string pattern = (std::filesystem::temp_directory_path() / (name + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

}  // namespace tidewire::bench
