// ProcessExportFile over a generated FBBEMAIL of registered users' messages: mail and news to the
// Internet, server requests and rejections. Reports messages per second, the ratio to a plain
// cp of the same file, and peak memory for two file sizes (it must not grow with the file).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/file_layer.h"
#include "base/station.h"
#include "outbound/export_file.h"
#include "support/bench_support.h"

namespace {

using tidewire::bench::SecondsSince;

constexpr int kUsers = 100;

std::string Call(int n) { return "XX" + std::to_string(n % 10) + "U" + std::to_string(n); }

// One export message of kind n % 10: six out of ten are mail or news, the rest server requests,
// a missing address line, a wrong addressee and an unregistered sender.
void WriteMessage(tidewire::TextWriter& out, int n, int body_lines) {
  const std::string call = Call(n % kUsers);
  const std::string bid = " $" + std::to_string(1000 + n) + "_XX0BBS";
  const std::string route = "R:261208/0500Z @:XX0BBS.#TST.DEU.EU #:" + std::to_string(n) +
                            " [Testcity] $:" + std::to_string(1000 + n) + "_XX0BBS";
  auto body = [&] {
    for (int i = 0; i < body_lines; ++i) {
      out.WriteLine("Line " + std::to_string(i) + " of a message on the packet network, 73!");
    }
  };
  switch (n % 10) {
    case 6:
      out.WriteLine("SP SERVER @ XX0BBS < " + call + bid);
      out.WriteLine(n % 20 == 6 ? "userinfo" : "NEWSLIST");
      break;
    case 7:
      out.WriteLine("SP INET @ INET < " + call + bid);
      out.WriteLine("Forgot the address line");
      out.WriteLine(route);
      body();
      break;
    case 8:
      out.WriteLine("SP XX1ABC @ INET < " + call + bid);
      out.WriteLine("Personal mail @ INET");
      body();
      break;
    case 9:
      out.WriteLine("SP INET @ INET < NO" + std::to_string(n % 9999) + bid);
      out.WriteLine("From a stranger");
      body();
      break;
    default:
      out.WriteLine("SP INET @ INET < " + call + bid);
      out.WriteLine("Message number " + std::to_string(n));
      out.WriteLine(route);
      out.WriteLine("");
      out.WriteLine(n % 2 ? "#TO: someone@example.com" : "#TO: rec.radio.amateur.misc");
      body();
  }
  out.WriteLine("/EX");
}

struct Figures {
  int messages;
  double file_mb;
  double seconds;
  double cp_seconds;
  double peak_mb;
};

Figures RunOnce(int messages, int body_lines) {
  const std::filesystem::path dir = tidewire::bench::MakeBenchDir("tidewire-export-bench");
  std::filesystem::create_directories(dir / "fbb");
  std::filesystem::create_directories(dir / "BACKUP");
  const std::filesystem::path export_file = dir / "fbb" / "fbbemail";
  {
    tidewire::TextWriter out(export_file, tidewire::TextWriter::Mode::kCreate);
    for (int n = 0; n < messages; ++n) WriteMessage(out, n, body_lines);
    out.Close();
  }
  const double file_mb = static_cast<double>(tidewire::FileSizeOf(export_file)) / 1e6;
  const double cp_seconds = tidewire::bench::SecondsForCp(export_file);

  tidewire::bench::QuietOperator op;
  tidewire::Station station(op, dir);
  station.AutoGoMode = true;
  station.config.MailinDIR = (dir / "fbb").string();
  station.config.BBSCall = "XX0BBS";
  station.config.InfoLine = "Info one";
  station.config.EmailAccount = "gate@example.net";
  station.config.ConfigurationCode = "1";
  for (int u = 0; u < kUsers; ++u) {
    station.users.Add(
        {Call(u), "XX0BBS", "User " + std::to_string(u), "u" + std::to_string(u) + "@example.org"});
  }
  tidewire::CreateEmptyFile(dir / "ACK");
  const auto start = std::chrono::steady_clock::now();
  tidewire::outbound::ProcessExportFile(station);
  const double seconds = SecondsSince(start);
  const double peak_mb = static_cast<double>(tidewire::bench::PeakResidentBytes()) / 1e6;
  std::filesystem::remove_all(dir);
  return {messages, file_mb, seconds, cp_seconds, peak_mb};
}

void Report(const char* label, const Figures& f) {
  std::printf(
      "%-6s %7d messages, %7.1f MB: %6.2f s, %8.0f messages/s, cp %.3f s (%.0f x cp), peak RSS "
      "%.1f MB\n",
      label, f.messages, f.file_mb, f.seconds, f.messages / f.seconds, f.cp_seconds,
      f.seconds / f.cp_seconds, f.peak_mb);
}

}  // namespace

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::atoi(argv[1]) : 20000;
  // Peak memory is a high-water mark: the small file goes first, so a growth with the file's
  // size would show in the second figure.
  Report("small", RunOnce(messages, 5));
  Report("large", RunOnce(messages, 100));
  return 0;
}
