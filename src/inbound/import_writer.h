#pragma once

#include <string_view>

#include "base/file_layer.h"

namespace tidewire::inbound {

// Writes messages in FBB's import format, one line at a time. Every producer of MAIL.IN goes
// through this class, because FBB drops or mangles a message it does not like without any
// notice: the writer makes sure no line it writes can end, abort or split a message early.
//
// A message is: WriteHeaderLine, WriteTitleLine, any number of WriteBodyLine, WriteEnd.
// Calls out of that order are a fault of the caller and raise std::logic_error.
class ImportWriter {
 public:
  // FBB reads header and title lines in 79-byte pieces, the CR LF included.
  static constexpr std::size_t kMaxTitleLength = 77;
  // FBB reads every line with fgets(buf, 80): in pieces of 79 bytes, each tested as a line.
  static constexpr std::size_t kFbbPiece = 79;

  explicit ImportWriter(TextWriter writer);
  // A message left open (an error came in between) is closed with "/AB", so that FBB drops
  // the incomplete message instead of swallowing the next writer's message as its body.
  ~ImportWriter();
  ImportWriter(ImportWriter&& other) noexcept;
  ImportWriter& operator=(ImportWriter&& other) noexcept;
  ImportWriter(const ImportWriter&) = delete;
  ImportWriter& operator=(const ImportWriter&) = delete;

  // Starts a message with its send command; line-end and NUL bytes become blanks.
  void WriteHeaderLine(std::string_view text);
  // The title; line-end and NUL bytes become blanks, and it is cut to kMaxTitleLength.
  void WriteTitleLine(std::string_view text);
  // One body line; a CR, LF or CR LF inside it starts a further line. Where a piece FBB reads
  // (bytes 0, 79, 158, ... of the line as written) would start with a command ("/EX...",
  // "/AB...", "/AC..."), a blank goes in front of it. Other lines are written as they are.
  void WriteBodyLine(std::string_view text);
  // Ends the message with "/EX".
  void WriteEnd();
  // Closes the file; raises the file layer's error when the data could not be written.
  void Close();

  // The number of messages ended with WriteEnd so far.
  [[nodiscard]] int messages_written() const { return messages_written_; }
  [[nodiscard]] const fs::path& path() const { return writer_.path(); }

 private:
  enum class State { kBetween, kAfterHeader, kInBody };

  void Require(State wanted, std::string_view what) const;
  void WriteBodyPiece(std::string_view piece);
  // Writes a line with a blank before every command at a piece start, NUL and byte 26 as blanks.
  void WriteGuarded(std::string_view piece);
  void AbortOpenMessage();

  TextWriter writer_;
  State state_ = State::kBetween;
  bool long_header_ = false;  // the message in hand has a header FBB reads in several pieces
  int messages_written_ = 0;
};

}  // namespace tidewire::inbound
