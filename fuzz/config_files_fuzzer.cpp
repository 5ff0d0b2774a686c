// Arbitrary bytes as one of the gateway's own files, read as the gateway reads it: the first
// byte picks the file, the rest is its content. The other files of the station are good ones,
// so that the load reaches the file under test. Readers may refuse with the project's
// exceptions; nothing may crash, hang or read out of bounds.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "base/station.h"
#include "config/flag_files.h"
#include "config/load_configuration.h"
#include "config/settings_file.h"
#include "config/user_database.h"
#include "cycle/bid_counter.h"
#include "platform/drives.h"
#include "platform/ini_file.h"
#include "support/fuzz_support.h"

namespace {

namespace fs = std::filesystem;
using tidewire::fuzz::NullOperator;
using tidewire::fuzz::Put;

// A complete TWIRE.CFG whose MailinDIR is MAILIN.
std::string GoodConfig(const fs::path& mailin) {
  return mailin.string() +
         "\r\nXX0BBS.#TST.DEU.EU\r\nTestcity\r\nXX0BBS\r\nSB EMAIL@AREA\r\nremailer.example\r\n"
         "Info one\r\nInfo two\r\nINET\r\nsmtp.example.net\r\npop.example.net\r\n"
         "news.example.net\r\ngateway\r\nsecret\r\ngate@example.net\r\nTRUE\r\nFALSE\r\n30\r\n"
         "FALSE\r\n1\r\nTRUE\r\n";
}

void ReadIni(const fs::path& dir, std::string_view bytes) {
  const fs::path path = dir / "tidewire.ini";
  Put(path, bytes);
  const auto ini = tidewire::platform::IniFile::Load(path);
  (void)ini.Get("Drives", "C");
  const auto drives = tidewire::platform::DrivesFromIni(ini);
  (void)tidewire::MapSettingsPath("C:\\FBB\\MAIL", drives);
  // What it writes must load again.
  ini.Save(dir / "again.ini");
  (void)tidewire::platform::IniFile::Load(dir / "again.ini");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const fs::path dir = [] {
    // Honours TMPDIR, so a run can work in a RAM folder.
    std::string pattern = (fs::temp_directory_path() / "tidewire-config-fuzz-XXXXXX").string();
    return fs::path(mkdtemp(pattern.data()));
  }();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) fs::remove_all(entry.path(), ec);
  const fs::path mailin = dir / "fbb";
  fs::create_directories(mailin, ec);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  NullOperator op;
  tidewire::Station station(op, dir);
  station.AutoGoMode = (data[0] & 0x80) != 0;
  const auto gateway_file = [&](std::string_view name) {
    Put(dir / tidewire::config::kConfigFile, GoodConfig(mailin));
    Put(dir / name, bytes);
    tidewire::config::LoadConfiguration(station);
  };
  try {
    switch (data[0] % 10) {
      case 0:  // TWIRE.CFG as it stands: line 1 is rarely a ready folder
        Put(dir / tidewire::config::kConfigFile, bytes);
        tidewire::config::LoadConfiguration(station);
        break;
      case 1:  // TWIRE.CFG after a good MailinDIR
        Put(dir / tidewire::config::kConfigFile, mailin.string() + "\r\n" + std::string(bytes));
        tidewire::config::LoadConfiguration(station);
        break;
      case 2:
        Put(dir / tidewire::config::kConfigFile, bytes);
        (void)tidewire::config::ReadSettingsAtStart(station.work_dir, station.config, station.op);
        break;
      case 3:
        Put(dir / tidewire::config::kUserFile, bytes);
        (void)tidewire::config::ReadUserFile(dir / tidewire::config::kUserFile);
        tidewire::config::LoadUserDatabase(station.work_dir, station.config, station.users,
                                           station.op);
        // The users' fields are checked once more by the load of the settings.
        Put(dir / tidewire::config::kConfigFile, GoodConfig(mailin));
        tidewire::config::LoadConfiguration(station);
        break;
      case 4:
        gateway_file(tidewire::config::kMailingListsFile);
        break;
      case 5:
        gateway_file(tidewire::config::kNewsDestinationsFile);
        break;
      case 6:
        gateway_file(tidewire::config::kWatchdogFile);
        break;
      case 7:
        gateway_file(tidewire::config::kNewsrcFile);
        break;
      case 8:
        Put(dir / "TWIREBID.BIN", bytes);
        tidewire::cycle::LoadBidCounter(station.work_dir, station.bid, station.op);
        break;
      case 9:
        ReadIni(dir, bytes);
        break;
    }
  } catch (const tidewire::IoError&) {
    // A file the gateway cannot read stops the pass: a normal outcome.
  } catch (const tidewire::ConversionError&) {
    // A number or path that does not convert: the program's own refusal.
  } catch (const tidewire::EndProgram&) {
    // A drive that is not ready ends the program: a normal outcome.
  }
  return 0;
}
