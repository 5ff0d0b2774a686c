#include "inbound/import_writer.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "base/text.h"

namespace tidewire::inbound {

namespace {

constexpr char kSubstitute = 26;

// FBB loses the rest of a line after a NUL and swallows a byte 26 with the line end behind it.
bool IsSwallowed(char c) { return c == '\0' || c == kSubstitute; }

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// FBB ends a message at any line starting "/EX" and drops it at any line starting "/AB",
// whatever the letter case and whatever follows. A line starting "/AC" makes it send an
// "ACK:" message back to the sender (the gateway's own call) when it delivers personal mail.
bool IsFbbCommand(std::string_view line) {
  if (line.size() < 3 || line[0] != '/') return false;
  const std::string_view word = line.substr(1, 2);
  return EqualsIgnoringCase(word, "EX") || EqualsIgnoringCase(word, "AB") ||
         EqualsIgnoringCase(word, "AC");
}

// A command at `at`, seen as FBB would see it once NUL and byte 26 have become blanks.
bool IsFbbCommandAt(std::string_view text, std::size_t at) {
  std::string head(text.substr(at, 3));
  for (char& c : head) c = IsSwallowed(c) ? ' ' : c;
  return IsFbbCommand(head);
}

// A header or title line: it must stay one line, so line ends become blanks too.
std::string SingleLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (IsSwallowed(c) || IsLineEnd(c)) c = ' ';
  }
  return line;
}

}  // namespace

ImportWriter::ImportWriter(TextWriter writer) : writer_(std::move(writer)) {}

ImportWriter::~ImportWriter() {
  try {
    AbortOpenMessage();
  } catch (...) {
    // The error that left the message open has been raised already; this one adds nothing.
  }
}

ImportWriter::ImportWriter(ImportWriter&& other) noexcept
    : writer_(std::move(other.writer_)),
      state_(std::exchange(other.state_, State::kBetween)),
      long_header_(other.long_header_),
      messages_written_(other.messages_written_) {}

ImportWriter& ImportWriter::operator=(ImportWriter&& other) noexcept {
  if (this != &other) {
    try {
      AbortOpenMessage();
    } catch (...) {
      // As in the destructor.
    }
    writer_ = std::move(other.writer_);
    state_ = std::exchange(other.state_, State::kBetween);
    long_header_ = other.long_header_;
    messages_written_ = other.messages_written_;
  }
  return *this;
}

void ImportWriter::Require(State wanted, std::string_view what) const {
  if (state_ != wanted) {
    throw std::logic_error("MAIL.IN: " + std::string(what) + " out of order");
  }
}

void ImportWriter::WriteHeaderLine(std::string_view text) {
  Require(State::kBetween, "header line");
  const std::string line = SingleLine(text);
  // A header longer than one piece (only settings make one): FBB takes its second piece for the
  // title and reads the rest, and the real title, as body, so those are guarded like body text.
  long_header_ = line.size() > kMaxTitleLength;
  if (long_header_) {
    WriteGuarded(line);
  } else {
    writer_.WriteLine(line);
  }
  state_ = State::kAfterHeader;
}

void ImportWriter::WriteTitleLine(std::string_view text) {
  Require(State::kAfterHeader, "title line");
  const std::string title = SingleLine(text.substr(0, kMaxTitleLength));
  if (long_header_) {
    WriteGuarded(title);
  } else {
    writer_.WriteLine(title);
  }
  state_ = State::kInBody;
}

void ImportWriter::WriteBodyLine(std::string_view text) {
  Require(State::kInBody, "body line");
  // FBB takes a lone LF as a line end as well, so every embedded break is a real line here.
  std::size_t start = 0;
  for (;;) {
    std::size_t i = start;
    while (i < text.size() && !IsLineEnd(text[i])) ++i;
    if (i == text.size()) break;
    WriteBodyPiece(text.substr(start, i - start));
    start = (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? i + 2 : i + 1;
  }
  WriteBodyPiece(text.substr(start));
}

void ImportWriter::WriteBodyPiece(std::string_view piece) { WriteGuarded(piece); }

void ImportWriter::WriteGuarded(std::string_view piece) {
  // FBB reads a line in pieces of kFbbPiece bytes and tests every piece for a command, not only
  // the first: a command at byte 79, 158, ... of a long line gets a blank in front, which moves
  // it off the piece start (and every later piece start one byte on).
  bool clean = true;
  for (std::size_t at = 0; clean && at < piece.size(); at += kFbbPiece) {
    clean = !IsFbbCommand(piece.substr(at));
  }
  for (const char c : piece) clean = clean && !IsSwallowed(c);
  if (clean) {
    writer_.WriteLine(piece);  // the common case: nothing to mend
    return;
  }
  std::string line;
  line.reserve(piece.size() + piece.size() / kFbbPiece + 1);
  for (std::size_t i = 0; i < piece.size(); ++i) {
    if (line.size() % kFbbPiece == 0 && IsFbbCommandAt(piece, i)) line.push_back(' ');
    line.push_back(IsSwallowed(piece[i]) ? ' ' : piece[i]);
  }
  writer_.WriteLine(line);
}

void ImportWriter::WriteEnd() {
  Require(State::kInBody, "end line");
  writer_.WriteLine("/EX");
  state_ = State::kBetween;
  ++messages_written_;
}

void ImportWriter::AbortOpenMessage() {
  if (state_ == State::kBetween) return;
  // In the title position "/AB" would only be the title.
  if (state_ == State::kAfterHeader) writer_.WriteLine("");
  state_ = State::kBetween;
  writer_.WriteLine("/AB");
}

void ImportWriter::Close() {
  const bool was_open = state_ != State::kBetween;
  AbortOpenMessage();
  writer_.Close();
  if (was_open) throw std::logic_error("MAIL.IN: closed inside a message");
}

}  // namespace tidewire::inbound
