#pragma once

#include <string_view>

#include "base/station.h"
#include "outbound/export_message.h"

namespace tidewire::outbound {

// The acknowledgement of a message sent on to the Internet, addressed to the user's call as the
// user database spells it. `address` is the Internet address of the "#TO:" line.
void WriteAcknowledgement(Station& station, const ExportMessage& message, std::string_view address);

// The delivery error for a registered sender's message that had no "#TO:" line; counted as a
// bad message.
void WriteAddressLineRejection(Station& station, const ExportMessage& message);

// The delivery error for a registered sender's message to a pseudo call other than INET or
// 1TWIRE.
void WriteWrongAddressRejection(Station& station, const ExportMessage& message);

// The delivery error for a sender who is not registered, without a route in its header.
void WriteUnregisteredRejection(Station& station, const ExportMessage& message);

// Whether an unregistered sender gets the rejection: not for an empty call, not for a
// mailing-list message ("MLIST:" in the title), and not for a call FBB can never have written
// (over six characters, or with a blank or control byte): FBB would drop such an answer.
[[nodiscard]] bool UnregisteredSenderIsAnswered(const ExportMessage& message);

}  // namespace tidewire::outbound
