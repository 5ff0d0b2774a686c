#pragma once

#include <array>
#include <string_view>

#include "base/station.h"

namespace tidewire::cycle {

// The gateway's settings and state files that go to the backup disk, in their order.
inline constexpr std::array<std::string_view, 14> kFloppyBackupFiles = {
    "twire.cfg", "twire.pti", "twire.itp", "twire.sim", "twirebid.bin", ".newsrc",   "user.dat",
    "sound",     "autogo",    "ml.cfg",    "ACK",       "LCOPY",        "WATCH.DOG", "1twire"};

// The "Backup" button: after the operator's OK, copies each of the files present to the root
// of drive A:, reporting each file, and a warning box for each copy that fails.
void BackupToFloppy(Station& station);

// The "Restore" button: after the operator's OK, copies the files back from drive A:, asking
// before it replaces a local bulletin-ID counter, and asks for a restart at the end. A local
// file stays as it was when its copy fails.
void RestoreFromFloppy(Station& station);

}  // namespace tidewire::cycle
