#pragma once

#include <filesystem>
#include <string>

namespace tidewire::platform {

// Opens FILE in the text editor, without waiting: a program "notepad.exe" (or "notepad") on
// PATH, else the desktop's default handler for the file (xdg-open). Returns why nothing
// opened it (the handler's own words where it gave any), or "" when it started.
[[nodiscard]] std::string LaunchEditor(const std::filesystem::path& file);

// Opens a local page or a web address with the desktop's default handler (xdg-open), without
// waiting for the program it starts. Returns why it could not, or "" when it did.
[[nodiscard]] std::string OpenWithDesktop(const std::string& target);

}  // namespace tidewire::platform
