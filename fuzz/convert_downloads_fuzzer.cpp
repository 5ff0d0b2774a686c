// Arbitrary bytes as a downloaded mail file and a news file, through the whole conversion.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/errors.h"
#include "base/station.h"
#include "inbound/downloads.h"
#include "support/fuzz_support.h"

namespace {

using tidewire::fuzz::NullOperator;
using tidewire::fuzz::Put;

std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path dir = [] {
    std::string pattern = "/tmp/tidewire-fuzz-XXXXXX";
    return std::filesystem::path(mkdtemp(pattern.data()));
  }();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
  const std::size_t half = size / 2;
  Put(dir / "0000000.MSG", Bytes(data, half));
  Put(dir / "0000001.MSG", Bytes(data + half, size - half));
  Put(dir / "bmes.txt", Bytes(data, half < 64 ? half : 64));
  Put(dir / "twire.sim", Bytes(data + half, (size - half) < 64 ? size - half : 64));

  NullOperator op;
  tidewire::Station station(op, dir);
  station.clock = [] { return std::time_t{1796685337}; };
  tidewire::GatewayConfig& c = station.config;
  c.BBSCall = "XX0BBS";
  c.AT = "INET";
  c.AT2 = "SB EMAIL @ WW";
  c.InfoLine = "info";
  c.AfterXMessage = 2;
  c.NewsDestinations = {"TECH"};
  c.MailingListsLoaded = true;
  c.MailingLists = {{"l", "*", "a", "*", "SB LIST @ EU"}};
  station.users.Add({"XX2DEF", "XX0BBS", "Jane", "jane@example.org"});
  station.users.Add({"XX3GHI", "", "a", ""});
  try {
    tidewire::inbound::ConvertDownloads(station);
  } catch (const tidewire::IoError&) {
    // A failed file operation is an ordinary outcome here.
  }
  tidewire::fuzz::RequireFbbReadsAsWritten(dir / "MAIL.IN");
  return 0;
}
