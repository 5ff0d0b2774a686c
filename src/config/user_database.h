#pragma once

#include "base/station.h"

namespace tidewire::config {

// Fills station.users from USER.DAT (a missing file leaves the table alone, silently), then
// reports one warning status line per user that breaks FBB's field limits.
// Raises IoError when a present file cannot be read.
void LoadUserDatabase(Station& station);

}  // namespace tidewire::config
