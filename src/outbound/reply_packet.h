#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/operator.h"

namespace tidewire::outbound {

// The list of this pass's reply files, as they are written.
inline constexpr std::string_view kIndexFile = "INDEX";
// INDEX's name once the export file's messages are taken into its reply files; a pass that
// finds it packs them before it writes reply files of its own.
inline constexpr std::string_view kTakenIndexFile = "INDEX.OUT";

// The packed INDEX while the packet files are renamed into place.
inline constexpr std::string_view kPackedIndexFile = "INDEX.PKD";

// Packs the reply files listed in INDEX into MAIL.MSG (".M01") and NEWS.MSG (the others), each
// behind its length, then deletes INDEX; no packet file is left empty. An empty INDEX is only
// deleted. Messages of a packet file already there stay in front of the new ones.
void PackReplyFiles(const std::filesystem::path& work_dir, Operator& op);
void PackReplyFiles(const std::filesystem::path& work_dir, Operator& op,
                    const std::filesystem::path& index_path);

// Finishes a packing that a crash stopped after both packet files were written.
void PutPackedFilesInPlace(const std::filesystem::path& work_dir);

// Writes REPLIES naming MAIL.MSG and NEWS.MSG, those that are present; nothing when neither is.
void WriteRepliesFile(const std::filesystem::path& work_dir);

}  // namespace tidewire::outbound
