#pragma once

// What the parts of the file layer share and nobody else uses: checked system calls on file
// descriptors, and the note a cached folder listing takes of each entry made or removed.
#include <cstddef>
#include <filesystem>

namespace tidewire::file_io {

namespace fs = std::filesystem;

inline constexpr std::size_t kBufferSize = 64 * 1024;

// Whether anything, even a dangling link, stands under the name.
[[nodiscard]] bool Exists(const fs::path& path);
// Keeps a cached listing in step with what this file layer created or removed.
void NoteEntry(const fs::path& real, bool present);
// Opens without following a link under the name; a folder is refused. Throws IoError.
[[nodiscard]] int OpenChecked(const fs::path& path, int flags);
void WriteAll(int fd, const char* data, std::size_t size, const fs::path& path);
void CloseChecked(int fd, const fs::path& path);
// Opens, creating it when missing, and tells a cached listing.
[[nodiscard]] int OpenCreating(const fs::path& path, int flags);
// A copy or replacement is no more open than its original (and, for root, has its owner).
void KeepPermissionsOf(int original, int fd, bool owner = false);
// Copies all of `in` to `out` with its permissions, and puts the bytes on the disk.
void CopyBytes(int in, int out, const fs::path& from, const fs::path& to);

}  // namespace tidewire::file_io
