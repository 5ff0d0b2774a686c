#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/station.h"

namespace tidewire::inbound {

// The Message-IDs of the e-mails and articles the gateway put into a MAIL.IN in the last
// days (the file MSGID.JNL), so that one the client fetched a second time (a fetch killed after
// it wrote the packet but before the server forgot the mail, a news fetch killed before it
// saved .newsrc) is not on the air twice.
//
// The IDs of a conversion are added to the file only once the conversion is complete: a
// conversion cut short is converted again, and its messages must not count as handed over.
class MessageJournal {
 public:
  static constexpr std::string_view kFileName = "MSGID.JNL";
  static constexpr std::time_t kKeepSeconds = 7 * 24 * 60 * 60;

  // Reads the file; a missing file, or one that cannot be read, is an empty journal.
  MessageJournal(std::filesystem::path work_dir, std::function<std::time_t()> clock);

  // The key of an e-mail (its Message-ID and a hash of all its lines), or of an article for one
  // packet destination (its Message-ID and a hash of its header lines); "" when the message
  // carries no Message-ID (it is never taken for a repeat). A re-fetched message is the same
  // bytes again; two messages that only share an ID (test corpora, spam) stay apart.
  [[nodiscard]] static std::string MailKey(std::string_view message_id, std::uint64_t hash);
  [[nodiscard]] static std::string NewsKey(std::string_view destination,
                                           std::string_view message_id, std::uint64_t hash);

  // Whether the message went into a MAIL.IN already (in an earlier pass or earlier in this
  // conversion); otherwise notes it as going now and says false.
  bool Repeated(const std::string& key);

  // Writes the file: the entries of the last days and this conversion's.
  void Save();

 private:
  std::filesystem::path work_dir_;
  std::function<std::time_t()> clock_;
  std::unordered_map<std::string, std::time_t> entries_;  // key -> when it was handed over
  bool changed_ = false;
};

// A 64-bit FNV-1a hash over lines, each followed by a line end.
class LineHash {
 public:
  void Add(std::string_view line) {
    for (const char c : line) Mix(static_cast<unsigned char>(c));
    Mix('\n');
  }
  [[nodiscard]] std::uint64_t value() const { return value_; }

 private:
  void Mix(unsigned char c) { value_ = (value_ ^ c) * 1099511628211ull; }
  std::uint64_t value_ = 14695981039346656037ull;
};

// The value of a Message-ID header line ("Message-ID: <x@y>", any case), or "" for any other.
[[nodiscard]] std::string MessageIdOf(std::string_view header_line);

}  // namespace tidewire::inbound
