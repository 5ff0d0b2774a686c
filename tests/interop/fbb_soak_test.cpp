// A busy station's AutoGO passes one after another against the real FBB (TIDEWIRE_SOAK_PASSES,
// 30 by default; scripts/soak runs 1000), half a second apart, while FBB imports and exports
// once a minute, so most passes find FBB's import file waiting: every message put in is
// stored by FBB, or sent, once,
// the gateway's memory stays level, FBB's open files do not grow and no file piles up.
// The AutoGO countdown runs at twenty times its speed (the fault shim's clock); nothing else
// of a pass changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "interop/interop_station.h"

namespace tidewire::interop {
namespace {

using tidewire::testing::Occurrences;

using namespace std::chrono_literals;

int EntriesIn(const fs::path& folder) {
  return static_cast<int>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

long FbbValue(pid_t pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(key + ":")) return std::atol(line.c_str() + key.size() + 1);
  }
  return -1;
}

int OpenFiles(pid_t pid) { return EntriesIn("/proc/" + std::to_string(pid) + "/fd"); }

int Count(const std::vector<FbbRecord>& records, const std::string& title) {
  return static_cast<int>(std::count_if(records.begin(), records.end(),
                                        [&](const FbbRecord& r) { return r.title == title; }));
}

TEST(FbbSoak, ManyPassesKeepCountsMemoryAndFilesSteady) {
  SKIP_WITHOUT_FBB();
  const char* passes_text = std::getenv("TIDEWIRE_SOAK_PASSES");
  const int passes = passes_text != nullptr ? std::atoi(passes_text) : 30;
  FbbInstance::Options options;
  options.gateway_call = "INET";
  options.quick_sleeps = true;
  FbbInstance fbb(options);
  GatewayStation station(fbb.ImportDir());
  station.AddEnv({"LD_PRELOAD=" TIDEWIRE_FAULT_SHIM, "TIDEWIRE_FAULT_CLOCK_SPEED=20",
                  "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
  ASSERT_TRUE(fbb.Start()) << fbb.Log();
  const long fbb_files_at_start = OpenFiles(fbb.Pid());

  int mails = 0, articles = 0, packet_mails = 0;
  std::vector<long> peak_kib;
  int work_entries = -1, backup_entries = -1;
  const auto put = [&](int pass) {
    const std::string n = std::to_string(pass);
    WriteBytes(station.Inbox("0000000.MSG"),
               ReadBytes(station.Inbox("0000000.MSG")) +
                   SoupMail("Jane Doe <jane@example.org>", "Soak mail " + n, {"body " + n}));
    ++mails;
    if (pass % 3 == 0) {
      WriteBytes(station.Inbox("0000001.MSG"),
                 ReadBytes(station.Inbox("0000001.MSG")) +
                     RnewsArticle("Carol <carol@example.org>", "Soak news " + n, {"news " + n}));
      ++articles;
    }
    if (pass % 5 == 0) {
      ASSERT_TRUE(fbb.AppendToImportFile("SP INET < XX2DEF\r\nPacket soak " + n +
                                         "\r\n#TO: friend" + n +
                                         "@example.com\r\nPacket soak body " + n + "\r\n/EX\r\n"));
      ++packet_mails;
    }
  };
  const auto pass_once = [&] {
    const ConsoleResult result = station.Pass();
    // 8: FBB's import file was still waiting and the pass only counted down.
    EXPECT_TRUE(result.exit_status == 0 || result.exit_status == 8) << result.output;
    peak_kib.push_back(result.peak_kib);
    std::this_thread::sleep_for(500ms);
  };
  for (int pass = 1; pass <= passes; ++pass) {
    put(pass);
    pass_once();
    if (pass == 1) {
      work_entries = EntriesIn(station.Root());
      backup_entries = EntriesIn(station.Root() / "backup");
    }
    if (::testing::Test::HasFailure()) break;
  }
  // FBB imports and exports by the minute: passes go on until all has gone through.
  const auto all_through = [&] {
    const std::string sent = ReadBytes(station.Sent("MAIL.MSG"));
    for (int k = 5; k <= passes; k += 5) {
      if (Occurrences(sent, "Packet soak body " + std::to_string(k) + "\n") == 0) return false;
    }
    return !fs::exists(fbb.ImportFile()) &&
           static_cast<int>(fbb.ImportedMessages().size()) >= mails + articles + packet_mails;
  };
  // FBB does not forward in a minute in which it imports, so on a busy station its export
  // falls behind; it catches up once the passes bring nothing more.
  for (const auto end =
           std::chrono::steady_clock::now() + 200s + std::chrono::seconds(2 * packet_mails);
       !all_through() && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(1s);
    pass_once();
  }

  const std::vector<FbbRecord> stored = fbb.ImportedMessages();
  const std::string sent = ReadBytes(station.Sent("MAIL.MSG"));
  for (int k = 1; k <= passes; ++k) {
    const std::string n = std::to_string(k);
    EXPECT_EQ(Count(stored, "Soak mail " + n), 1) << n;
    if (k % 3 == 0) {
      EXPECT_EQ(Count(stored, "Soak news " + n), 1) << n;
    }
    if (k % 5 == 0) {
      EXPECT_EQ(Count(stored, "Packet soak " + n), 1) << n;
      EXPECT_EQ(Occurrences(sent, "Packet soak body " + n + "\n"), 1) << n;
    }
  }
  EXPECT_EQ(static_cast<int>(stored.size()), mails + articles + packet_mails);
  // Steady: the last quarter of the passes needs no more memory than the first, beyond noise.
  const std::size_t quarter = std::max<std::size_t>(1, peak_kib.size() / 4);
  const long first = *std::max_element(peak_kib.begin(), peak_kib.begin() + quarter);
  const long last = *std::max_element(peak_kib.end() - quarter, peak_kib.end());
  EXPECT_LE(last, first + first / 10 + 2048);
  EXPECT_LE(OpenFiles(fbb.Pid()), fbb_files_at_start + 2);
  EXPECT_LE(EntriesIn(station.Root()), work_entries + 1);  // + the FBB ID/log files may come once
  // One copy per file name (the log, MAIL.IN, FBBEMAIL, the packet, the downloads), replaced.
  EXPECT_LE(EntriesIn(station.Root() / "backup"), std::max(backup_entries, 12));
  std::cout << "soak: " << peak_kib.size() << " passes, " << mails << " e-mails, " << articles
            << " articles, " << packet_mails << " packet mails; FBB stored " << stored.size()
            << "; gateway peak " << *std::max_element(peak_kib.begin(), peak_kib.end())
            << " KiB (first quarter " << first << ", last " << last << "); FBB open files "
            << fbb_files_at_start << " -> " << OpenFiles(fbb.Pid()) << ", FBB resident "
            << FbbValue(fbb.Pid(), "VmRSS") << " KiB, peak " << FbbValue(fbb.Pid(), "VmHWM")
            << " KiB\n";
  EXPECT_EQ(fbb.Stop(), 1);
}

}  // namespace
}  // namespace tidewire::interop
