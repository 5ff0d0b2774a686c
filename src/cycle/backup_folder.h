#pragma once

#include <filesystem>
#include <string_view>

namespace tidewire::cycle {

// A file of the backup folder the start-up made in the working directory.
[[nodiscard]] std::filesystem::path BackupFile(const std::filesystem::path& work_dir,
                                               std::string_view name);

// Copies a file of the working directory into the backup folder under its own name. The copy
// is a spare: when it fails the pass goes on without it.
void CopyToBackup(const std::filesystem::path& work_dir, std::string_view name);

}  // namespace tidewire::cycle
