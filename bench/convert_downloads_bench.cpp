// ConvertDownloads over a generated mailbox and news batch, against a plain cp of the same bytes.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/file_layer.h"
#include "base/station.h"
#include "inbound/downloads.h"
#include "support/bench_support.h"

namespace {

using tidewire::bench::MakeBenchDir;
using tidewire::bench::PeakResidentBytes;
using tidewire::bench::QuietOperator;
using tidewire::bench::SecondsForCp;
using tidewire::bench::SecondsSince;

// Streams messages to `path` until it holds at least `bytes`; returns the size written.
std::uintmax_t Generate(const std::filesystem::path& path, std::uintmax_t bytes, bool news) {
  std::ofstream out(path, std::ios::binary);
  std::string body;
  for (int i = 0; i < 40; ++i) {
    body +=
        "Line " + std::to_string(i) + " of a body with ordinary text, quoted > lines and such\n";
  }
  std::uintmax_t written = 0;
  for (long n = 0; written < bytes; ++n) {
    std::string message;
    if (news) {
      message = "#! rnews 2400\nPath: news.example.com!not-for-mail\nFrom: user" +
                std::to_string(n) + "@example.com (Some User)\nNewsgroups: comp.test\n" +
                "Subject: Article number " + std::to_string(n) + "\nMessage-ID: <" +
                std::to_string(n) + "@example.com>\n\n" + body;
    } else {
      message =
          "From POPmail Mon Dec  7 10:00:00 2026\nReceived: from mx.example.com\n"
          "From: sender" +
          std::to_string(n) +
          "@example.com\nTo: someone@example.org\n"
          "Subject: Mail number " +
          std::to_string(n) + "\n\n" + body;
    }
    out << message;
    written += message.size();
  }
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uintmax_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
  const std::filesystem::path dir = MakeBenchDir("tidewire-bench-downloads");
  const std::uintmax_t mail = Generate(dir / "0000000.MSG", megabytes << 20, false);
  const std::uintmax_t news = Generate(dir / "0000001.MSG", megabytes << 20, true);
  const double cp_seconds = SecondsForCp(dir / "0000000.MSG") + SecondsForCp(dir / "0000001.MSG");
  // cp copies inside the kernel (copy_file_range); the file layer's own read/write copy of the
  // same bytes is the second yardstick.
  auto copy_start = std::chrono::steady_clock::now();
  tidewire::CopyFile(dir / "0000000.MSG", dir / "copy.tmp");
  tidewire::CopyFile(dir / "0000001.MSG", dir / "copy.tmp");
  const double copy_seconds = SecondsSince(copy_start);
  std::filesystem::remove(dir / "copy.tmp");

  QuietOperator op;
  tidewire::Station station(op, dir);
  tidewire::GatewayConfig& c = station.config;
  c.BBSCall = "XX0BBS";
  c.AT = "INET";
  c.AT2 = "SB EMAIL @ WW";
  c.HRoute = "XX0BBS.#TST.DEU.EU";
  c.QTH = "Testcity";
  c.InfoLine = "Info";
  c.NewsDestinations = {"TEST"};
  station.users.Add({"XX2DEF", "XX0BBS", "Jane Doe", "jane@tidewire.invalid"});
  station.users.Add({"XX3GHI", "XX0BBS", "John Smith", "john@tidewire.invalid"});

  const auto start = std::chrono::steady_clock::now();
  tidewire::inbound::ConvertDownloads(station);
  const double seconds = SecondsSince(start);
  const double total_mb = static_cast<double>(mail + news) / (1 << 20);
  std::printf("input: %.1f MB (mail %.1f MB, news %.1f MB)\n", total_mb,
              static_cast<double>(mail) / (1 << 20), static_cast<double>(news) / (1 << 20));
  std::printf("ConvertDownloads: %.2f s, %.1f MB/s\n", seconds, total_mb / seconds);
  std::printf("cp of the same bytes: %.2f s; ratio %.2f\n", cp_seconds, seconds / cp_seconds);
  std::printf("read/write copy of the same bytes: %.2f s; ratio %.2f\n", copy_seconds,
              seconds / copy_seconds);
  std::printf("messages written: %d mail, %d news; MAIL.IN %.1f MB\n",
              station.counters.EmailToPacket, station.counters.InetToPacket,
              static_cast<double>(std::filesystem::file_size(dir / "MAIL.IN")) / (1 << 20));
  std::printf("peak resident memory: %.1f MB\n",
              static_cast<double>(PeakResidentBytes()) / (1 << 20));
  std::filesystem::remove_all(dir);
  return 0;
}
