#include "base/file_layer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/text.h"

namespace tidewire {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr char kEndOfFile = 26;

// Entry names of a folder, sorted in directory order; empty when it cannot be read.
std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int c = CompareIgnoringCase(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  return names;
}

// The entry of a folder that equals `name` ignoring letter case, the first in name order; empty
// when there is none. One pass over the folder without sorting it: this runs for every file
// that is created, in folders that may hold thousands of entries.
std::string CaseVariant(const fs::path& folder, std::string_view name) {
  std::string found;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return found;
  while (dirent* entry = readdir(dir)) {
    const std::string_view entry_name = entry->d_name;
    if (entry_name == "." || entry_name == ".." || !EqualsIgnoringCase(entry_name, name)) continue;
    if (found.empty() || entry_name < found) found = entry_name;
  }
  closedir(dir);
  return found;
}

bool Exists(const fs::path& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// The folders a FolderNameCache stands for, innermost last.
std::vector<FolderNameCache*>& ActiveCaches() {
  static std::vector<FolderNameCache*> caches;
  return caches;
}

fs::path AbsoluteFolder(const fs::path& folder) {
  std::error_code error;
  fs::path absolute = fs::absolute(folder.empty() ? fs::path(".") : folder, error);
  if (error) absolute = folder;
  absolute = absolute.lexically_normal();
  if (!absolute.has_filename() && absolute != absolute.root_path()) {
    absolute = absolute.parent_path();
  }
  return absolute;
}

// The cache for a folder, or null.
FolderNameCache* CacheFor(const fs::path& folder) {
  if (ActiveCaches().empty()) return nullptr;
  const fs::path absolute = AbsoluteFolder(folder);
  for (auto it = ActiveCaches().rbegin(); it != ActiveCaches().rend(); ++it) {
    if ((*it)->folder() == absolute) return *it;
  }
  return nullptr;
}

// Keeps a cached listing in step with what this file layer created or removed.
void NoteEntry(const fs::path& real, bool present) {
  if (ActiveCaches().empty()) return;
  FolderNameCache* cache = CacheFor(real.parent_path());
  if (cache != nullptr) cache->Note(real.filename().string(), present);
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
void KeepPermissionsOf(int original, int fd, bool owner = false) {
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

}  // namespace

fs::path ResolvePath(const fs::path& path) {
  fs::path resolved;
  bool searching = true;
  for (const fs::path& part : path) {
    const std::string name = part.string();
    if (resolved.empty() && (part == path.root_path() || name == "/")) {
      resolved = part;
      continue;
    }
    fs::path candidate = resolved / part;
    if (searching && name != "." && name != ".." && !Exists(candidate)) {
      const fs::path folder = resolved.empty() ? fs::path(".") : resolved;
      const FolderNameCache* cache = CacheFor(folder);
      const std::string entry =
          cache != nullptr ? cache->CaseVariant(name) : CaseVariant(folder, name);
      searching = !entry.empty();
      if (searching) candidate = resolved / entry;
    }
    resolved = std::move(candidate);
  }
  return resolved;
}

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

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  // Iterative match with one backtrack point for the last "*".
  std::size_t n = 0, p = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || EqualsIgnoringCase(pattern.substr(p, 1), name.substr(n, 1)))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> ListFiles(const fs::path& folder, std::string_view pattern) {
  const fs::path real = ResolvePath(folder.empty() ? fs::path(".") : folder);
  std::vector<std::string> result;
  for (std::string& name : FolderEntries(real)) {
    if (!MatchesWildcard(name, pattern)) continue;
    struct stat st {};
    if (stat((real / name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      result.push_back(std::move(name));
    }
  }
  return result;
}

// --- BinaryReader, BinaryWriter

BinaryReader::BinaryReader(const fs::path& path)
    : path_(path), fd_(OpenChecked(ResolvePath(path), O_RDONLY)) {}

BinaryReader::~BinaryReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t BinaryReader::Read(char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, data, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) IoError::ThrowFromErrno(errno, path_.string());
  }
}

void BinaryReader::Close() {
  if (fd_ >= 0) CloseChecked(std::exchange(fd_, -1), path_);
}

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

// --- TextReader

TextReader::TextReader(const fs::path& path, LongLines long_lines, LineEnds line_ends)
    : path_(path),
      fd_(OpenChecked(ResolvePath(path), O_RDONLY)),
      buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)),
      long_lines_(long_lines),
      line_ends_(line_ends) {}

TextReader::~TextReader() {
  if (fd_ >= 0) ::close(fd_);
}

TextReader::TextReader(TextReader&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)),
      pos_(other.pos_),
      len_(other.len_),
      buffer_start_(other.buffer_start_),
      at_eof_(other.at_eof_),
      long_lines_(other.long_lines_),
      in_long_line_(other.in_long_line_),
      continues_(other.continues_),
      line_ends_(other.line_ends_),
      lf_ends_(other.lf_ends_) {}

TextReader& TextReader::operator=(TextReader&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
    buffer_ = std::move(other.buffer_);
    pos_ = other.pos_;
    len_ = other.len_;
    buffer_start_ = other.buffer_start_;
    at_eof_ = other.at_eof_;
    long_lines_ = other.long_lines_;
    in_long_line_ = other.in_long_line_;
    continues_ = other.continues_;
    line_ends_ = other.line_ends_;
    lf_ends_ = other.lf_ends_;
  }
  return *this;
}

bool TextReader::Fill() {
  if (at_eof_ || fd_ < 0) return false;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.get(), kBufferSize);
    if (n < 0) {
      if (errno == EINTR) continue;
      IoError::ThrowFromErrno(errno, path_.string());
    }
    if (n == 0) {
      at_eof_ = true;
      return false;
    }
    buffer_start_ += static_cast<std::int64_t>(len_);
    pos_ = 0;
    len_ = static_cast<std::size_t>(n);
    return true;
  }
}

void TextReader::DecideLineEnds() {
  line_ends_ = LineEnds::kCr;
  const std::string_view data(buffer_.get() + pos_, len_ - pos_);
  const std::size_t first = data.find_first_of("\r\n");
  lf_ends_ = first != std::string_view::npos && data[first] == '\n';
}

int TextReader::Peek() {
  if (pos_ >= len_ && !Fill()) return -1;
  const char c = buffer_[pos_];
  if (c == kEndOfFile) {
    at_eof_ = true;
    len_ = pos_;  // nothing after byte 26 is ever read
    return -1;
  }
  return static_cast<unsigned char>(c);
}

bool TextReader::AtEnd() { return Peek() < 0; }

std::string TextReader::ReadLine() {
  continues_ = std::exchange(in_long_line_, false);
  std::string line;
  for (;;) {
    if (pos_ >= len_ && !Fill()) return line;
    // Copy the run of ordinary bytes in one go.
    const char* begin = buffer_.get() + pos_;
    const char* end = buffer_.get() + len_;
    if (static_cast<std::size_t>(end - begin) > kLongestLine - line.size()) {
      end = begin + (kLongestLine - line.size());
    }
    if (line_ends_ == LineEnds::kLfWhenNoCr) DecideLineEnds();
    const char* stop = begin;
    while (stop != end && *stop != '\r' && *stop != kEndOfFile && !(lf_ends_ && *stop == '\n')) {
      ++stop;
    }
    line.append(begin, stop);
    pos_ += static_cast<std::size_t>(stop - begin);
    if (stop == end) {
      if (line.size() < kLongestLine) continue;
      // Full: the line ends here, at the end of the data, or goes on.
      const int next = Peek();
      if (next < 0) return line;
      if (next == '\r') {
        Advance();
        if (Peek() == '\n') Advance();
        return line;
      }
      if (long_lines_ == LongLines::kRefuse) throw IoError(IoCode::kLineTooLong, path_.string());
      in_long_line_ = true;
      return line;
    }
    if (*stop == kEndOfFile) {
      Peek();  // marks the end
      return line;
    }
    if (*stop == '\n') {  // a file typed with LF line ends
      Advance();
      return line;
    }
    Advance();  // the CR
    if (Peek() == '\n') Advance();
    return line;
  }
}

std::int32_t TextReader::ReadInteger() {
  int c = Peek();
  while (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
    Advance();
    c = Peek();
  }
  std::string token;
  while (c >= 0 && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
    // No number has this many characters: a file of digits is not read whole.
    if (token.size() > 64) throw IoError(IoCode::kInvalidNumericInput, path_.string());
    token.push_back(static_cast<char>(c));
    Advance();
    c = Peek();
  }
  const auto value = ParseDecimal(token);
  if (!value) throw IoError(IoCode::kInvalidNumericInput, path_.string());
  return *value;
}

void TextReader::Close() {
  if (fd_ < 0) return;
  CloseChecked(std::exchange(fd_, -1), path_);
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

// --- FolderNameCache

FolderNameCache::FolderNameCache(const fs::path& folder)
    : folder_(AbsoluteFolder(ResolvePath(folder))) {
  DIR* dir = opendir(folder_.c_str());
  if (dir == nullptr) IoError::ThrowFromErrno(errno, folder.string());
  while (dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") Note(std::string(name), true);
  }
  closedir(dir);
  ActiveCaches().push_back(this);
}

FolderNameCache::~FolderNameCache() {
  auto& caches = ActiveCaches();
  caches.erase(std::remove(caches.begin(), caches.end(), this), caches.end());
}

std::string FolderNameCache::CaseVariant(std::string_view name) const {
  const auto it = names_.find(UpperCopy(name));
  return it == names_.end() || it->second.empty() ? std::string() : *it->second.begin();
}

void FolderNameCache::Note(const std::string& name, bool present) {
  if (present) {
    names_[UpperCopy(name)].insert(name);
    return;
  }
  const auto it = names_.find(UpperCopy(name));
  if (it == names_.end()) return;
  it->second.erase(name);
  if (it->second.empty()) names_.erase(it);
}

}  // namespace tidewire
