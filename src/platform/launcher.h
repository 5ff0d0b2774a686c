#pragma once

#include <filesystem>
#include <string>

namespace tidewire::platform {

// Opens FILE in the text editor, without waiting: a program "notepad.exe" (or "notepad") on
// PATH, else the desktop's default handler for the file (xdg-open). False when neither starts.
bool LaunchEditor(const std::filesystem::path& file);

// Opens a local page or a web address with the desktop's default handler (xdg-open), without
// waiting. False when it cannot be started.
bool OpenWithDesktop(const std::string& target);

}  // namespace tidewire::platform
