#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "base/errors.h"
#include "base/file_io.h"
#include "base/file_layer.h"

// What can be asked of a file and done to it as a whole.
namespace tidewire {

using namespace file_io;

bool FileIsPresent(const fs::path& path) {
  if (path.empty()) return false;
  const fs::path real = ResolvePath(path);
  struct stat st {};
  // A link is no file of the gateway's, whatever it points at.
  if (lstat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if ((st.st_mode & S_IWUSR) == 0) return false;
  const int fd = ::open(real.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  const bool held_by_other = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return !held_by_other;
}

bool EntryExists(const fs::path& path) { return !path.empty() && Exists(ResolvePath(path)); }

void RefuseToReplaceUnusable(const fs::path& path) {
  if (!FileIsPresent(path) && EntryExists(path)) {
    throw IoError(IoCode::kAccessDenied, path.string());
  }
}

bool UsableFileExists(const fs::path& path) {
  if (!EntryExists(path)) return false;
  RefuseToReplaceUnusable(path);
  return true;
}

bool ReadableFileExists(const fs::path& path) {
  if (!EntryExists(path)) return false;
  const fs::path real = ResolvePath(path);
  struct stat st {};
  if (lstat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    throw IoError(IoCode::kAccessDenied, path.string());
  }
  CloseChecked(OpenChecked(real, O_RDONLY | O_NONBLOCK), path);
  return true;
}

bool FolderIsPresent(const fs::path& path) {
  if (path.empty()) return false;
  struct stat st {};
  return stat(ResolvePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t FileSizeOf(const fs::path& path) {
  const fs::path real = ResolvePath(path);
  struct stat st {};
  if (stat(real.c_str(), &st) != 0) IoError::ThrowFromErrno(errno, path.string());
  if (!S_ISREG(st.st_mode)) throw IoError(IoCode::kAccessDenied, path.string());
  return static_cast<std::int64_t>(st.st_size);
}

void DeleteFile(const fs::path& path) {
  const fs::path real = ResolvePath(path);
  struct stat st {};
  if (lstat(real.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw IoError(IoCode::kAccessDenied, path.string());
  }
  if (::unlink(real.c_str()) != 0) IoError::ThrowFromErrno(errno, path.string());
  NoteEntry(real, false);
}

void DeleteFileIfPresent(const fs::path& path) {
  if (!Exists(ResolvePath(path))) return;
  DeleteFile(path);
}

void CreateEmptyFile(const fs::path& path) {
  CloseChecked(OpenCreating(path, O_WRONLY | O_TRUNC), path);
}

void CopyFile(const fs::path& from, const fs::path& to) {
  const int in = OpenChecked(ResolvePath(from), O_RDONLY);
  int out = -1;
  try {
    out = OpenCreating(to, O_WRONLY | O_TRUNC);
    CopyBytes(in, out, from, to);
    const int fd = std::exchange(out, -1);
    CloseChecked(fd, to);
  } catch (...) {
    if (out >= 0) ::close(out);
    ::close(in);
    throw;
  }
  ::close(in);
}

void RestrictToOwner(const fs::path& path) {
  const fs::path real = ResolvePath(path);
  const int fd = OpenChecked(real, O_RDONLY | O_NOFOLLOW);
  const int result = fchmod(fd, S_IRUSR | S_IWUSR);
  const int error = errno;
  ::close(fd);
  if (result != 0) IoError::ThrowFromErrno(error, path.string());
}

void TruncateFile(const fs::path& path, std::int64_t size) {
  if (::truncate(ResolvePath(path).c_str(), static_cast<off_t>(size)) != 0) {
    IoError::ThrowFromErrno(errno, path.string());
  }
}

void RenameFile(const fs::path& from, const fs::path& to) {
  const fs::path source = ResolvePath(from);
  const fs::path target = ResolvePath(to);
  if (::rename(source.c_str(), target.c_str()) != 0) IoError::ThrowFromErrno(errno, from.string());
  NoteEntry(source, false);
  NoteEntry(target, true);
}

void MakeFolder(const fs::path& path) {
  const fs::path real = ResolvePath(path);
  if (::mkdir(real.c_str(), 0777) != 0) IoError::ThrowFromErrno(errno, path.string());
  NoteEntry(real, true);
}

namespace {

// The file is written unnamed and linked under its name only once whole, so a program killed
// halfway never leaves an empty file there (an empty lock would hold FBB off for good).
// Nullopt when the file system has no unnamed files.
std::optional<bool> CreateWholeFile(const fs::path& real, const std::function<void(int)>& write) {
  const fs::path folder = real.parent_path().empty() ? fs::path(".") : real.parent_path();
  int fd;
  do {
    fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return std::nullopt;
    IoError::ThrowFromErrno(errno, real.string());
  }
  try {
    write(fd);
  } catch (...) {
    ::close(fd);
    throw;
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, real.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EEXIST) return false;
    if (error == ENOENT) return std::nullopt;  // no /proc
    IoError::ThrowFromErrno(error, real.string());
  }
  NoteEntry(real, true);
  CloseChecked(fd, real);
  return true;
}

}  // namespace

namespace {

bool CreateNewFileWith(const fs::path& path, const std::function<void(int)>& write) {
  const fs::path real = ResolvePath(path);
  if (const std::optional<bool> made = CreateWholeFile(real, write)) return *made;
  int fd;
  do {
    fd = ::open(real.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EEXIST) return false;
    IoError::ThrowFromErrno(errno, path.string());
  }
  try {
    write(fd);
  } catch (...) {
    ::close(fd);
    ::unlink(real.c_str());
    throw;
  }
  NoteEntry(real, true);
  CloseChecked(fd, path);
  return true;
}

}  // namespace

bool CreateNewFile(const fs::path& path, std::string_view bytes) {
  return CreateNewFileWith(path, [&](int fd) { WriteAll(fd, bytes.data(), bytes.size(), path); });
}

void CopyToNewFile(const fs::path& from, const fs::path& to) {
  const fs::path real = ResolvePath(to);
  struct stat st {};
  if (lstat(real.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) throw IoError(IoCode::kAccessDenied, to.string());
    if (::unlink(real.c_str()) != 0 && errno != ENOENT) IoError::ThrowFromErrno(errno, to.string());
    NoteEntry(real, false);
  }
  const int in = OpenChecked(ResolvePath(from), O_RDONLY);
  try {
    const bool made = CreateNewFileWith(real, [&](int out) { CopyBytes(in, out, from, to); });
    // Someone put an entry there between the unlink and the link: theirs, not to be written.
    if (!made) throw IoError(IoCode::kAccessDenied, to.string());
  } catch (...) {
    ::close(in);
    throw;
  }
  ::close(in);
}

std::string FileIdentity(const fs::path& path) {
  struct stat st {};
  if (stat(ResolvePath(path).c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    IoError::ThrowFromErrno(errno, path.string());
  }
  return std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + " " +
         std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec);
}

std::time_t FileModifiedTime(const fs::path& path) {
  struct stat st {};
  if (stat(ResolvePath(path).c_str(), &st) != 0) IoError::ThrowFromErrno(errno, path.string());
  return st.st_mtime;
}

}  // namespace tidewire
