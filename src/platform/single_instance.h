#pragma once

#include <filesystem>

namespace tidewire::platform {

// One gateway per working directory: an exclusive lock on a lock file, held for the life of the
// object. The system drops the lock when the process ends, however it ends, so a crashed
// instance never blocks the next start.
class SingleInstance {
 public:
  // Tries to take the lock; raises the file layer's error when the lock file cannot be opened.
  explicit SingleInstance(const std::filesystem::path& lock_file);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this instance holds the lock; false when another one does.
  [[nodiscard]] bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace tidewire::platform
