#pragma once

#include "base/station.h"

namespace tidewire::cycle {

// The main window's start-up: the "backup" folder, the "sound" and "autogo" flags, the state
// texts, the user database and the settings of TWIRE.CFG. Raises EndProgram (kOperator) when
// the operator refuses the backup folder.
void StartUp(Station& station);

// The "Stop" button before the window closes: saves the two boxes into the flag files "sound"
// and "autogo" and sets AutoGoMode from the "AutoGO" box.
void StopClick(Station& station);

// Whether the main window may close: without asking in AutoGO mode, otherwise the operator's
// Yes to "Are you sure ?".
[[nodiscard]] bool FormClose(Station& station);

// The "AutoGO" box clicked: the mode, the box and the flag file "autogo" all flip, following the
// mode rather than the box.
void AutoGoCheckClick(Station& station);

}  // namespace tidewire::cycle
