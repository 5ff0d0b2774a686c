#pragma once

#include "base/station.h"

namespace tidewire::inbound {

// Cleans the downloaded mail file: every byte 26 in 0000000.MSG becomes a blank.
void PrepareMailFile(Station& station);

// Converts the files the SOUP client fetched into messages appended to MAIL.IN, then removes
// the files of the pass. On return MAIL.IN exists (empty when nothing was written).
void ConvertDownloads(Station& station);

}  // namespace tidewire::inbound
