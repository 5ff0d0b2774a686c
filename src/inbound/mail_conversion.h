#pragma once

#include <string_view>

#include "base/shared_types.h"
#include "base/station.h"
#include "inbound/held_queue.h"
#include "inbound/import_writer.h"
#include "inbound/message_journal.h"

namespace tidewire::inbound {

// Marks the users whose e-mail account, or else real name, occurs in an address line.
void MatchUsers(UserDatabase& users, std::string_view line);

// Converts every e-mail of 0000000.NOW into packet messages in MAIL.IN, then deletes the
// working files.
// With a JOURNAL, an e-mail whose Message-ID went into a MAIL.IN before is skipped.
void ConvertMail(Station& station, MessageJournal* journal = nullptr);

// An e-mail the operator released from HELD/, converted as it would have been, past the checks.
void ConvertReleasedMail(ImportWriter& out, Station& station, const HeldMessage& held);

// The FBB address of a user's personal message: "SP " + call + " @ " + home BBS.
[[nodiscard]] std::string PersonalAddress(const UserRecord& user);

}  // namespace tidewire::inbound
