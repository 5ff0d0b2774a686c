#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "base/errors.h"

namespace tidewire::platform {

SingleInstance::SingleInstance(const std::filesystem::path& lock_file) {
  int fd;
  do {
    fd = ::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) IoError::ThrowFromErrno(errno, lock_file.string());
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    fd_ = fd;
    return;
  }
  const int err = errno;
  ::close(fd);
  if (err != EWOULDBLOCK) IoError::ThrowFromErrno(err, lock_file.string());
}

SingleInstance::~SingleInstance() {
  // The file stays: removing it would let a third start lock a fresh file beside a second one
  // still waiting on the old.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace tidewire::platform
