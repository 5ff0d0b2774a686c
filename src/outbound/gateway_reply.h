#pragma once

#include <string>
#include <string_view>

#include "base/station.h"
#include "inbound/import_writer.h"

namespace tidewire::outbound {

// One private message of the gateway to a packet user in MAIL.IN: the file is opened (appended
// to, or created) with the header and title already written, and closed after the message.
class GatewayReply {
 public:
  GatewayReply(const std::filesystem::path& work_dir, Operator& op, std::string_view header,
               std::string_view title);

  [[nodiscard]] inbound::ImportWriter& writer() { return writer_; }

  // Closes MAIL.IN; the message must have been ended.
  void Close() { writer_.Close(); }

 private:
  inbound::ImportWriter writer_;
};

// "SP " + the call from the FBB header + " @ " + the HomeBBS of USER + " < TDWIRE".
[[nodiscard]] std::string ReplyHeaderForSender(const UserRecord& user, std::string_view sender);

}  // namespace tidewire::outbound
