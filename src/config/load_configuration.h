#pragma once

#include "base/station.h"

namespace tidewire::config {

// Reads TWIRE.CFG, TWIRE.PTI, ML.CFG, WATCH.DOG and checks .NEWSRC, in this order, into
// station.config, reporting each file in the status list and each fault in a message box;
// ends with one warning status line per setting that breaks FBB's field limits.
// Raises ConversionError for a MailinDIR without a drive letter and EndProgram when its
// drive is not ready; IoError when a present file cannot be read.
void LoadConfiguration(Station& station);

}  // namespace tidewire::config
