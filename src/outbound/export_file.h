#pragma once

#include "base/file_layer.h"
#include "base/station.h"
#include "outbound/message_id.h"

namespace tidewire::outbound {

// Takes FBB's export file FBBEMAIL in MailinDIR over: validates it, backs it up, turns each
// message into a reply file, a server answer or a delivery error, leaves the file empty for FBB
// and packs the reply files into the SOUP reply packet. Raises EndProgram for a damaged export
// file and IoError when a file cannot be read or written.
void ProcessExportFile(Station& station);

// The same with a given source of Message-ID letters.
void ProcessExportFile(Station& station, MessageIdSource& ids);

// Whether a file holds a carriage return right after another one (before a byte 26).
[[nodiscard]] bool HasDoubleCarriageReturn(const fs::path& path);

}  // namespace tidewire::outbound
