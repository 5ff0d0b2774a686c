#pragma once

#include <QApplication>

namespace tidewire::app {

// The program tidewire in the current directory: the six windows, then the event loop.
// Returns the exit status.
[[nodiscard]] int RunApplication(QApplication& application);

}  // namespace tidewire::app
