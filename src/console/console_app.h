#pragma once

#include <cstdio>

#include "cycle/exit_status.h"

namespace tidewire::console {

using cycle::ExitStatus;

// The gateway at a terminal, in the current directory: starts up, then reads the main window's
// commands ("GO!", "Backup", "Restore", "LOG", "Stop") one per line from `in` until Stop or the
// end of the input. Started with the flag file "autogo", it runs one pass and ends.
[[nodiscard]] int RunConsole(std::FILE* in, std::FILE* out);

}  // namespace tidewire::console
