#include "base/station.h"

#include <utility>

namespace tidewire {

Station::Station(Operator& op_in, std::filesystem::path work_dir_in)
    : op(op_in), work_dir(std::move(work_dir_in)), clock([] { return std::time(nullptr); }) {
  drives.folders['A'] = "/media/floppy";
}

std::filesystem::path Station::MailinFile(std::string_view name) const {
  std::string joined = config.MailinDIR + "\\" + std::string(name);
  return MapSettingsPath(joined, drives);
}

}  // namespace tidewire
