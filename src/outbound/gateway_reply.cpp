#include "outbound/gateway_reply.h"

#include "inbound/import_file.h"

namespace tidewire::outbound {

GatewayReply::GatewayReply(const std::filesystem::path& work_dir, Operator& op,
                           std::string_view header, std::string_view title)
    : writer_(inbound::OpenImportFile(work_dir, op, inbound::Announce::kSilent)) {
  writer_.WriteHeaderLine(header);
  writer_.WriteTitleLine(title);
}

std::string ReplyHeaderForSender(const UserRecord& user, std::string_view sender) {
  UserRecord addressee = user;
  addressee.UserCALL = std::string(sender);
  return inbound::ShortHeader(addressee);
}

}  // namespace tidewire::outbound
