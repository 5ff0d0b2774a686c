#pragma once

#include <string>
#include <string_view>

#include "base/file_layer.h"
#include "base/shared_types.h"
#include "base/station.h"
#include "outbound/export_message.h"
#include "outbound/message_id.h"

namespace tidewire::outbound {

// The gateway's domain: the text after the first "@" of EmailAccount (all of it without "@").
[[nodiscard]] std::string GatewayDomain(const GatewayConfig& config);

// The user's RemailerAccount, or the gateway's EmailAccount when the user has none.
[[nodiscard]] std::string ReplyAccount(const UserRecord& user, const GatewayConfig& config);

// The address of the From line: the user's own account unless configuration code 2 hides it.
[[nodiscard]] std::string FromAccount(const UserRecord& user, const GatewayConfig& config);

// The text between "<" and ">": the letters, the local part of the user's account and the host.
[[nodiscard]] std::string MessageId(std::string_view letters, const UserRecord& user,
                                    const GatewayConfig& config);

// The user's real name for an address header: a quoted string, or encoded words (RFC 2047,
// ISO-8859-1) when it holds bytes above 127, which a mail header cannot carry as they are.
[[nodiscard]] std::string DisplayName(std::string_view real_name);

// A value for one header line: line ends and other control bytes become blanks.
[[nodiscard]] std::string HeaderText(std::string_view text);

// Lines 1 to 8 of a reply message file and the empty line after them, LF-ended.
[[nodiscard]] std::string ReplyHeader(std::string_view letters, std::string_view address,
                                      std::string_view title, const UserRecord& user,
                                      const GatewayConfig& config, std::time_t now);

// An address with "@" is e-mail, any other a newsgroup.
[[nodiscard]] bool IsMailAddress(std::string_view address);

// The numbered reply message files of one pass and their list INDEX.
class ReplyFileWriter {
 public:
  // Creates INDEX empty in the working directory.
  ReplyFileWriter(Station& station, MessageIdSource& ids);

  // Writes the next reply file for the accepted message; its body is read from the export file
  // up to and including the end line. Counts the message as sent to the Internet.
  void WriteMessage(const ExportMessage& message, TextReader& export_file);

  // Closes INDEX.
  void CloseIndex();

  [[nodiscard]] int reply_number() const { return n_; }

 private:
  Station& station_;
  MessageIdSource& ids_;
  TextWriter index_;
  bool log_traffic_;  // TRAFFIC.LOG records the messages going out
  int n_ = 0;
};

}  // namespace tidewire::outbound
