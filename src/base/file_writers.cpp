#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "base/errors.h"
#include "base/file_io.h"
#include "base/file_layer.h"

namespace tidewire {

using namespace file_io;

// --- BinaryWriter

BinaryWriter::BinaryWriter(const fs::path& path)
    : path_(path), fd_(OpenCreating(path, O_WRONLY | O_TRUNC)) {}

BinaryWriter::~BinaryWriter() {
  if (fd_ >= 0) ::close(fd_);
}

void BinaryWriter::Write(std::string_view bytes) {
  if (fd_ < 0) throw IoError(IoCode::kFileNotOpen, path_.string());
  WriteAll(fd_, bytes.data(), bytes.size(), path_);
}

void BinaryWriter::WriteAt(std::int64_t offset, std::string_view bytes) {
  if (fd_ < 0) throw IoError(IoCode::kFileNotOpen, path_.string());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      IoError::ThrowFromErrno(errno, path_.string());
    }
    done += static_cast<std::size_t>(n);
  }
}

void BinaryWriter::Close() {
  if (fd_ >= 0) CloseChecked(std::exchange(fd_, -1), path_);
}

// --- TextWriter

fs::path ReplacementName(const fs::path& path) {
  // Never "*.NEW" or "*.MSG": those names are the downloads a pass converts and deletes.
  return path.parent_path() / (path.filename().string() + ".tmp");
}

void SyncFolder(const fs::path& folder) {
  const fs::path real = ResolvePath(folder.empty() ? fs::path(".") : folder);
  int fd;
  do {
    fd = ::open(real.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) IoError::ThrowFromErrno(errno, folder.string());
  if (::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    // Some file systems cannot sync a folder; the rename itself has happened.
    if (error != EINVAL && error != ENOTSUP) IoError::ThrowFromErrno(error, folder.string());
    return;
  }
  CloseChecked(fd, folder);
}

namespace {

int OpenForMode(const fs::path& path, TextWriter::Mode mode, const fs::path& temp) {
  switch (mode) {
    case TextWriter::Mode::kAppend:
      return OpenCreating(path, O_WRONLY | O_APPEND);
    case TextWriter::Mode::kReplace: {
      // A read-only or locked file is not to be replaced behind its owner's back.
      RefuseToReplaceUnusable(path);
      // A temporary left by a killed writer (or planted: a link) goes; the new one is made
      // exclusively, so nothing standing under its name is ever written through.
      const fs::path real_temp = ResolvePath(temp);
      if (::unlink(real_temp.c_str()) != 0 && errno != ENOENT) {
        IoError::ThrowFromErrno(errno, temp.string());
      }
      const int fd = OpenCreating(real_temp, O_WRONLY | O_EXCL);
      const fs::path real = ResolvePath(path);
      const int original = ::open(real.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
      if (original >= 0) {
        KeepPermissionsOf(original, fd, true);
        ::close(original);
      }
      return fd;
    }
    case TextWriter::Mode::kCreate:
      break;
  }
  return OpenCreating(path, O_WRONLY | O_TRUNC);
}

}  // namespace

TextWriter::TextWriter(const fs::path& path, Mode mode)
    : path_(path),
      temp_(mode == Mode::kReplace ? ReplacementName(path) : fs::path()),
      fd_(OpenForMode(path, mode, temp_)) {
  buffer_.reserve(kBufferSize);
}

TextWriter::~TextWriter() { Abandon(); }

void TextWriter::Abandon() noexcept {
  if (fd_ < 0) return;
  if (!temp_.empty()) {
    Release();
    ::unlink(ResolvePath(temp_).c_str());
    return;
  }
  try {
    Flush();
  } catch (...) {
    // Close reports write errors; a writer abandoned on an error stays silent.
  }
  Release();
}

TextWriter::TextWriter(TextWriter&& other) noexcept
    : path_(std::move(other.path_)),
      temp_(std::move(other.temp_)),
      fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)) {}

TextWriter& TextWriter::operator=(TextWriter&& other) noexcept {
  if (this != &other) {
    Abandon();
    path_ = std::move(other.path_);
    temp_ = std::move(other.temp_);
    fd_ = std::exchange(other.fd_, -1);
    buffer_ = std::move(other.buffer_);
  }
  return *this;
}

void TextWriter::Write(std::string_view text) {
  if (fd_ < 0) throw IoError(IoCode::kFileNotOpen, path_.string());
  const fs::path& target = temp_.empty() ? path_ : temp_;
  if (buffer_.size() + text.size() > kBufferSize) {
    Flush();
    if (text.size() >= kBufferSize) {
      WriteAll(fd_, text.data(), text.size(), target);
      return;
    }
  }
  buffer_.append(text);
}

void TextWriter::WriteLine(std::string_view text) {
  Write(text);
  Write("\r\n");
}

void TextWriter::Flush() {
  if (fd_ < 0 || buffer_.empty()) return;
  std::string pending;
  pending.swap(buffer_);
  WriteAll(fd_, pending.data(), pending.size(), temp_.empty() ? path_ : temp_);
  pending.clear();
  buffer_.swap(pending);
}

void TextWriter::Sync() {
  Flush();
  if (fd_ >= 0 && ::fsync(fd_) != 0)
    IoError::ThrowFromErrno(errno, (temp_.empty() ? path_ : temp_).string());
}

void TextWriter::Close() {
  if (fd_ < 0) return;
  if (temp_.empty()) {
    try {
      Flush();
    } catch (...) {
      Release();
      throw;
    }
    CloseChecked(std::exchange(fd_, -1), path_);
    return;
  }
  try {
    Flush();
    if (::fsync(fd_) != 0) IoError::ThrowFromErrno(errno, temp_.string());
    CloseChecked(std::exchange(fd_, -1), temp_);
    RenameFile(temp_, path_);
  } catch (...) {
    Release();
    ::unlink(ResolvePath(temp_).c_str());
    throw;
  }
  temp_.clear();
  SyncFolder(path_.parent_path());
}

void TextWriter::Release() noexcept {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

}  // namespace tidewire
