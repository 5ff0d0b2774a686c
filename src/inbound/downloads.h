#pragma once

#include "base/station.h"

namespace tidewire::inbound {

// Cleans the downloaded mail file: every byte 26 in 0000000.MSG becomes a blank.
void PrepareMailFile(const std::filesystem::path& work_dir, Operator& op);

// Converts the files the SOUP client fetched into messages appended to MAIL.IN, then removes
// the files of the pass. On return MAIL.IN exists (empty when nothing was written).
void ConvertDownloads(Station& station);

// Finishes what a pass killed during ConvertDownloads left: MAIL.IN is cut back to where that
// conversion began (its downloads are converted again), or, when it was complete, the
// downloads are deleted. Nothing when no conversion was interrupted.
void FinishInterruptedConversion(const std::filesystem::path& work_dir, Operator& op);

}  // namespace tidewire::inbound
