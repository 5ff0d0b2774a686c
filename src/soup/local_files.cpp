#include "soup/local_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

[[noreturn]] void FailOn(const std::string& what, const std::string& path) {
  throw SoupError("cannot " + what + " " + path + ": " + std::strerror(errno));
}

std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd, bytes.data(), bytes.size());
    if (done < 0) {
      if (errno == EINTR) continue;
      FailOn("write", path);
    }
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
}

}  // namespace

std::vector<std::string> ListFolder(const std::string& dir) {
  std::vector<std::string> names;
  DIR* folder = ::opendir(dir.c_str());
  if (folder == nullptr) return names;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(folder);
  std::sort(names.begin(), names.end());
  return names;
}

std::string FindIgnoringCase(const std::string& dir, const std::string& name) {
  const std::string exact = dir + "/" + name;
  struct stat info {};
  if (::lstat(exact.c_str(), &info) == 0) return exact;
  for (const std::string& entry : ListFolder(dir)) {
    if (::strcasecmp(entry.c_str(), name.c_str()) == 0) return dir + "/" + entry;
  }
  return exact;
}

std::optional<std::string> ReadSmallFile(const std::string& path, Follow follow) {
  const int fd =
      ::open(path.c_str(), O_RDONLY | O_CLOEXEC |
                               (follow == Follow::kRegularFileOnly ? O_NOFOLLOW | O_NONBLOCK : 0));
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    if (errno == ELOOP) throw SoupError(path + " is a link, not a file: not read");
    FailOn("open", path);
  }
  struct stat info {};
  if (follow == Follow::kRegularFileOnly && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
    ::close(fd);
    throw SoupError(path + " is not a regular file: not read");
  }
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      ::close(fd);
      errno = saved;
      FailOn("read", path);
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return content;
}

void WriteFileAtomically(const std::string& path, std::string_view content) {
  ReplaceFileAtomically(path, [content](OutputFile& out) { out.Write(content); });
}

void ReplaceFileAtomically(const std::string& path, const std::function<void(OutputFile&)>& write) {
  const std::string temporary = path + ".tmp";
  // A left or planted temporary goes first; the new one is made exclusively.
  if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) FailOn("remove", temporary);
  try {
    OutputFile out(temporary, OutputFile::Mode::kCreateNew);
    // The new file keeps the old one's permissions (a .newsrc may be private).
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) ::chmod(temporary.c_str(), old.st_mode & 07777);
    write(out);
    out.Close();
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
    FailOn("replace", path);
  }
  const int folder = ::open(Parent(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

std::unique_ptr<InputFile> InputFile::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return nullptr;
    FailOn("open", path);
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    FailOn("read the size of", path);
  }
  return std::unique_ptr<InputFile>(
      new InputFile(path, fd, static_cast<std::uint64_t>(info.st_size)));
}

InputFile::~InputFile() { ::close(fd_); }

std::size_t InputFile::ReadAt(std::uint64_t offset, char* data, std::size_t size) const {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd_, data + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      FailOn("read", path_);
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::string InputFile::ReadRange(std::uint64_t offset, std::size_t length) const {
  std::string bytes(length, '\0');
  if (ReadAt(offset, bytes.data(), length) != length) {
    throw SoupError(path_ + " changed while it was read");
  }
  return bytes;
}

void InputFile::CopyRange(std::uint64_t offset, std::uint64_t length, OutputFile& out) const {
  char block[65536];
  while (length > 0) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(length, sizeof block));
    if (ReadAt(offset, block, want) != want) throw SoupError(path_ + " changed while it was read");
    out.Write(std::string_view(block, want));
    offset += want;
    length -= want;
  }
}

void RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) FailOn("remove", path);
}

OutputFile::OutputFile(std::string path, Mode mode) : path_(std::move(path)) {
  // Never through a link: it could point anywhere.
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  if (mode == Mode::kAppend) flags |= O_APPEND;
  if (mode == Mode::kTruncate) flags |= O_TRUNC;
  if (mode == Mode::kCreateNew) flags |= O_EXCL;
  fd_ = ::open(path_.c_str(), flags, 0644);
  if (fd_ < 0) FailOn("create", path_);
  struct stat info {};
  if (::fstat(fd_, &info) != 0) Fail("read the size of");
  size_ = static_cast<std::uint64_t>(info.st_size);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    try {
      Flush();
    } catch (const SoupError&) {
      // A destructor does not throw; callers that care call Sync first.
    }
    ::close(fd_);
  }
}

[[noreturn]] void OutputFile::Fail(const char* what) const { FailOn(what, path_); }

void OutputFile::Flush() {
  if (pending_.empty()) return;
  std::string bytes;
  bytes.swap(pending_);
  WriteAll(fd_, bytes, path_);
  size_ += bytes.size();
}

void OutputFile::Write(std::string_view bytes) {
  pending_.append(bytes);
  if (pending_.size() >= 1 << 16) Flush();
}

void OutputFile::Sync() {
  Flush();
  if (::fsync(fd_) != 0) Fail("write");
}

void OutputFile::Close() {
  Sync();
  if (::close(std::exchange(fd_, -1)) != 0) Fail("write");
}

void OutputFile::TruncateTo(std::uint64_t size) {
  if (size >= size_) {
    pending_.resize(static_cast<std::size_t>(size - size_));
    return;
  }
  pending_.clear();
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("cut back");
  size_ = size;
}

}  // namespace tidewire::soup
