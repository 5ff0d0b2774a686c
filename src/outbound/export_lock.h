#pragma once

#include <ctime>
#include <optional>

#include "base/file_layer.h"

namespace tidewire::outbound {

// FBB does not export while a file of the export file's name with the extension ".lck" lies
// beside it. The gateway holds that lock from taking the export file over until the fresh
// empty file is there, so nothing FBB writes meanwhile can be lost with the old file.
//
// The lock holds the holder's process number and host name. A lock counts as left behind,
// and is taken over, when it is older than an hour (FBB's own rule), or when it names a
// process of this host that no longer runs. A lock of this very process is live: a pass
// started inside a running one (from a box) leaves the file to the running pass.
class ExportLock {
 public:
  static constexpr std::time_t kStaleSeconds = 60 * 60;

  // Takes the lock; nothing when another live holder has it.
  [[nodiscard]] static std::optional<ExportLock> Take(const fs::path& lock_file, std::time_t now);

  ~ExportLock();  // removes the lock without raising
  ExportLock(ExportLock&& other) noexcept;
  ExportLock& operator=(ExportLock&& other) noexcept;
  ExportLock(const ExportLock&) = delete;
  ExportLock& operator=(const ExportLock&) = delete;

  // Removes the lock; raises the file layer's error when it cannot.
  void Release();

  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  explicit ExportLock(fs::path path) : path_(std::move(path)) {}

  fs::path path_;
  bool held_ = true;
};

// The text a lock of this process holds: its number and host name, one line each.
[[nodiscard]] std::string OwnLockText();

// Whether a lock with this text and this age was left behind by a holder that is gone.
[[nodiscard]] bool LockIsStale(std::string_view first_line, std::string_view second_line,
                               std::time_t age_seconds);

}  // namespace tidewire::outbound
