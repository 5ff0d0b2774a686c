#pragma once

#include "base/shared_types.h"
#include "base/station.h"

namespace tidewire::inbound {

// "Send Manual": appends TWIRE.MAN to MAIL.IN as a personal message to `user`. A missing
// manual, or a record without a call (FBB would drop the message), is told in a box and
// MAIL.IN is left alone.
void SendManual(Station& station, const UserRecord& user);

}  // namespace tidewire::inbound
