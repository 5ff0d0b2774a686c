#include "base/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/errors.h"
#include "base/file_layer.h"

namespace tidewire::file_io {

bool Exists(const fs::path& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// No file is opened through a link standing under its name: in a folder others may write (FBB's),
// a planted link could make the gateway read or write any file of its user.
int OpenChecked(const fs::path& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) IoError::ThrowFromErrno(errno, path.string());
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw IoError(IoCode::kAccessDenied, path.string());
  }
  return fd;
}

void WriteAll(int fd, const char* data, std::size_t size, const fs::path& path) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      IoError::ThrowFromErrno(errno, path.string());
    }
    if (n == 0) throw IoError(IoCode::kDiskFull, path.string());
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void CloseChecked(int fd, const fs::path& path) {
  if (::close(fd) != 0 && errno != EINTR) IoError::ThrowFromErrno(errno, path.string());
}

// Opens, creating it when missing, and tells a cached listing.
int OpenCreating(const fs::path& path, int flags) {
  const fs::path real = ResolvePath(path);
  const int fd = OpenChecked(real, flags | O_CREAT);
  NoteEntry(real, true);
  return fd;
}

// A copy or replacement is no more open than its original: a copy of TWIRE.CFG (0600, it holds
// the password) stays 0600. Not all owners can be given (only root can); then the mode alone.
void KeepPermissionsOf(int original, int fd, bool owner) {
  struct stat st {};
  if (fstat(original, &st) != 0) return;
  if (owner && fchown(fd, st.st_uid, st.st_gid) != 0) {
    // Not permitted unless we are root: the file stays ours, with the original's mode.
  }
  if (fchmod(fd, st.st_mode & 07777) != 0) {
    // A target owned by someone else keeps its own mode.
  }
}

// Copies all of `in` to `out`, the permissions too, and puts the bytes on the disk: a copy is
// often renamed into place next (mail.in for FBB), and a power failure must not leave an empty
// file where the messages were.
void CopyBytes(int in, int out, const fs::path& from, const fs::path& to) {
  KeepPermissionsOf(in, out);
  std::vector<char> buffer(kBufferSize);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      IoError::ThrowFromErrno(errno, from.string());
    }
    if (n == 0) break;
    WriteAll(out, buffer.data(), static_cast<std::size_t>(n), to);
  }
  if (::fsync(out) != 0) IoError::ThrowFromErrno(errno, to.string());
}

}  // namespace tidewire::file_io
