#include "outbound/export_lock.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <utility>

#include "base/errors.h"
#include "base/text.h"

namespace tidewire::outbound {

namespace {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

bool ProcessRuns(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// A lock that vanished or cannot be read while we look counts as unreadable, not as stale.
bool ExistingLockIsStale(const fs::path& lock_file, std::time_t now) {
  try {
    const std::time_t age = now - FileModifiedTime(lock_file);
    TextReader in(lock_file, LongLines::kSplit);  // only the two first lines count
    const std::string first = in.ReadLine();
    const std::string second = in.ReadLine();
    in.Close();
    return LockIsStale(first, second, age);
  } catch (const IoError&) {
    return false;
  }
}

}  // namespace

std::string OwnLockText() { return std::to_string(getpid()) + "\r\n" + HostName() + "\r\n"; }

bool LockIsStale(std::string_view first_line, std::string_view second_line,
                 std::time_t age_seconds) {
  if (age_seconds > ExportLock::kStaleSeconds) return true;
  // A process number only means something on the host that wrote it.
  const std::string host = HostName();
  if (host.empty() || second_line != host) return false;
  const auto pid = ParseDecimal(first_line);
  if (!pid || *pid <= 0) return false;
  // This process's own lock is live too: a pass started inside a running one must wait.
  return !ProcessRuns(static_cast<pid_t>(*pid));
}

std::optional<ExportLock> ExportLock::Take(const fs::path& lock_file, std::time_t now) {
  const std::string text = OwnLockText();
  if (CreateNewFile(lock_file, text)) return ExportLock(lock_file);
  if (!ExistingLockIsStale(lock_file, now)) return std::nullopt;
  DeleteFileIfPresent(lock_file);
  // Someone else may have taken it between the delete and this create: then it is theirs.
  if (CreateNewFile(lock_file, text)) return ExportLock(lock_file);
  return std::nullopt;
}

ExportLock::~ExportLock() {
  if (!held_) return;
  try {
    DeleteFileIfPresent(path_);
  } catch (...) {
    // The error that ended the pass is the one to report; a lock left here goes stale.
  }
}

ExportLock::ExportLock(ExportLock&& other) noexcept
    : path_(std::move(other.path_)), held_(std::exchange(other.held_, false)) {}

ExportLock& ExportLock::operator=(ExportLock&& other) noexcept {
  if (this != &other) {
    ExportLock old(std::move(*this));
    path_ = std::move(other.path_);
    held_ = std::exchange(other.held_, false);
  }
  return *this;
}

void ExportLock::Release() {
  if (!held_) return;
  held_ = false;
  DeleteFileIfPresent(path_);
}

}  // namespace tidewire::outbound
