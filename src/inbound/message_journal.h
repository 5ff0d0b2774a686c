#pragma once

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
  explicit MessageJournal(Station& station);

  // The key of an e-mail, or of an article for one packet destination; "" when the message
  // carries no Message-ID (it is never taken for a repeat).
  [[nodiscard]] static std::string MailKey(std::string_view message_id);
  [[nodiscard]] static std::string NewsKey(std::string_view destination,
                                           std::string_view message_id);

  // Whether the message went into a MAIL.IN already (in an earlier pass or earlier in this
  // conversion); otherwise notes it as going now and says false.
  bool Repeated(const std::string& key);

  // Writes the file: the entries of the last days and this conversion's.
  void Save();

 private:
  Station& station_;
  std::unordered_map<std::string, std::time_t> entries_;  // key -> when it was handed over
  bool changed_ = false;
};

// The value of a Message-ID header line ("Message-ID: <x@y>", any case), or "" for any other.
[[nodiscard]] std::string MessageIdOf(std::string_view header_line);

}  // namespace tidewire::inbound
