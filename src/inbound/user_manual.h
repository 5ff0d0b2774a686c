#pragma once

#include <filesystem>

#include "base/operator.h"
#include "base/shared_types.h"

namespace tidewire::inbound {

// "Send Manual": appends TWIRE.MAN to MAIL.IN as a personal message to `user`. A missing
// manual, or a record without a call (FBB would drop the message), is told in a box and
// MAIL.IN is left alone.
void SendManual(const std::filesystem::path& work_dir, Operator& op, const UserRecord& user);

}  // namespace tidewire::inbound
