#include "platform/sound.h"

#include <chrono>

#include "platform/child_process.h"

namespace tidewire::platform {

void PlaySoundFile(const std::filesystem::path& file) {
  const std::filesystem::path player = FindProgram("aplay");
  if (player.empty()) return;
  auto child = ChildProcess::Start(player, {"aplay", "-q", file.string()}, file.parent_path());
  if (child) (void)child->WaitFor(std::chrono::seconds(30));
}

}  // namespace tidewire::platform
