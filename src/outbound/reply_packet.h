#pragma once

#include <cstdint>
#include <string>

#include "base/station.h"

namespace tidewire::outbound {

// The 4-byte length before each message of a SOUP binary message file, high byte first.
[[nodiscard]] std::string LengthPrefix(std::uint32_t length);

// Packs the reply files listed in INDEX into MAIL.MSG (".M01") and NEWS.MSG (the others), each
// behind its length, then deletes INDEX and a packet file that stayed empty. An empty INDEX is
// only deleted.
void PackReplyFiles(Station& station);

// Writes REPLIES naming MAIL.MSG and NEWS.MSG, those that are present; nothing when neither is.
void WriteRepliesFile(Station& station);

}  // namespace tidewire::outbound
