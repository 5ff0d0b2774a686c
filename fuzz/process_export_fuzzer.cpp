// Arbitrary bytes as FBB's export file through the whole packet-to-Internet step, with every
// sender that a header line names registered, so the input reaches the handlers.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "base/station.h"
#include "outbound/export_file.h"
#include "outbound/export_message.h"
#include "support/fuzz_support.h"

namespace {

using tidewire::fuzz::NullOperator;
using tidewire::fuzz::Put;

// Registers the sender of every line as a user, as the export reader would cut it.
void RegisterSenders(tidewire::Station& station, std::string_view bytes) {
  std::size_t start = 0;
  while (start < bytes.size() && station.users.UserCount() < 100) {
    std::size_t end = bytes.find('\r', start);
    if (end == std::string_view::npos) end = bytes.size();
    const auto fields = tidewire::outbound::CutHeaderLine(bytes.substr(start, end - start));
    // FBB's sender field holds six characters at most.
    if (!fields.Sender.empty() && fields.Sender.size() <= 6 &&
        station.users.FindUserByCall(fields.Sender) == 0) {
      const int n = station.users.UserCount();
      station.users.Add({fields.Sender, n % 3 == 0 ? "" : "XX0BBS", n % 2 ? "Real Name" : "",
                         n % 4 == 0 ? "" : "user@example.org"});
    }
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path dir = [] {
    // Honours TMPDIR, so a run can work in a RAM folder.
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tidewire-export-fuzz-XXXXXX").string();
    return std::filesystem::path(mkdtemp(pattern.data()));
  }();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
  const std::filesystem::path mailin = dir / "fbb";
  std::filesystem::create_directories(mailin, ec);
  std::filesystem::create_directories(dir / "BACKUP", ec);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Put(mailin / "fbbemail", bytes);
  Put(dir / ".NEWSRC", "comp.lang.c\r\n");
  Put(dir / "TWIRE.MAN", "manual\r\n/EX\r\n");
  const unsigned variant = size == 0 ? 0 : data[size / 2];
  if (variant & 1) Put(dir / "ACK", "");
  if (variant & 2) Put(dir / "1twire", "");

  NullOperator op;
  tidewire::Station station(op, dir);
  station.clock = [] { return std::time_t{1796685337}; };
  station.AutoGoMode = (variant & 4) != 0;
  tidewire::GatewayConfig& c = station.config;
  c.MailinDIR = mailin.string();
  c.BBSCall = "XX0BBS";
  c.InfoLine = "info";
  c.InfoLine2 = (variant & 8) ? "info two" : "";
  c.EmailAccount = (variant & 16) ? "gate@example.net" : "";
  c.ConfigurationCode = std::string(1, static_cast<char>('1' + (variant >> 5) % 3));
  c.ConfigurationCodeMode2 = c.ConfigurationCode == "2";
  c.MailingLists = {{"Ham list", "", "", "", "SB HAM@WW"}};
  station.users.Add({"XX2DEF", "XX0BBS", "Dora Example", "dora@example.org"});
  RegisterSenders(station, bytes);
  station.bid.Set(static_cast<std::int32_t>(variant));
  try {
    tidewire::outbound::ProcessExportFile(station);
  } catch (const tidewire::EndProgram&) {
    // A damaged export file ends the program: a normal outcome.
  } catch (const tidewire::IoError&) {
    // A file the pass cannot handle stops it: a normal outcome.
  }
  tidewire::fuzz::RequireFbbReadsAsWritten(dir / "MAIL.IN");
  return 0;
}
