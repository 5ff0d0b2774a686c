#pragma once

#include <filesystem>

namespace tidewire::platform {

// Plays a sound file to its end with ALSA's aplay. Nothing plays when the player is missing;
// a player that hangs is not waited for longer than a sound can last.
void PlaySoundFile(const std::filesystem::path& file);

}  // namespace tidewire::platform
