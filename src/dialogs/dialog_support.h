#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <utility>

#include "base/errors.h"
#include "base/operator.h"
#include "base/station.h"

namespace tidewire::dialogs {

// The gateway's files are 8-bit text of no known code page (FBB's heritage); Latin-1 maps
// every byte to one character and back, so what is read is written back unchanged.
inline QString ToQt(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQt(const QString& text) { return text.toLatin1().toStdString(); }

// One operator command of a dialog: a file error ends it in the error box with its text.
// False when it ended so.
template <typename Command>
bool RunCommand(Station& station, Command&& command) {
  return RunShowingErrors(station.op, std::forward<Command>(command));
}

}  // namespace tidewire::dialogs
