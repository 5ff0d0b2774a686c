#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "base/errors.h"
#include "base/file_io.h"
#include "base/file_layer.h"
#include "base/text.h"

namespace tidewire {

using namespace file_io;

namespace {

constexpr char kEndOfFile = 26;

}  // namespace

// --- BinaryReader

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

}  // namespace tidewire
