#pragma once

// A station for the fault and crash tests: FBB exported two mails for the Internet, the
// Internet holds two e-mails and two articles, AutoGO is on. Passes run the real console with
// the fault shim preloaded; FBB's side is played by taking each handed-over mail.in.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "console/console_process.h"
#include "cycle/cycle_station.h"

namespace tidewire::testing {

namespace fs = std::filesystem;
using cycle::testing::CycleStation;

inline constexpr const char* kTwoExportedMails =
    "SP INET @ INET < XX2DEF $2001_XX0BBS\r\nGreetings\r\n#TO: alice@example.com\r\n"
    "Hello Alice, this came over the gateway.\r\n/EX\r\n"
    "SP INET @ INET < XX2DEF $2002_XX0BBS\r\nMore greetings\r\n#TO: bob@example.com\r\n"
    "Hello Bob, this came too.\r\n/EX\r\n";

inline constexpr const char* kTwoMailsForJane =
    "From popmail Mon Dec  7 09:00:00 2026\nFrom: Alice <alice@example.com>\n"
    "To: Jane Doe <jane@example.org>\nSubject: Hello Jane\n\nHello from the Internet.\n"
    "From popmail Mon Dec  7 09:05:00 2026\nFrom: Bob <bob@example.com>\n"
    "To: Jane Doe <jane@example.org>\nSubject: Second for Jane\n\nAnother one.\n";

inline constexpr const char* kTwoArticles =
    "#! rnews 100\nPath: news.example.org!not-for-mail\nFrom: Carol <carol@example.org>\n"
    "Newsgroups: comp.os.linux.misc\nSubject: Kernel news\n\nIt boots.\n"
    "#! rnews 100\nPath: news.example.org!not-for-mail\nFrom: Dave <dave@example.org>\n"
    "Newsgroups: comp.os.linux.misc\nSubject: Kernel again\n\nIt still boots.\n";

// What each message is recognised by at the other end: a line of its body, which occurs once.
inline const std::vector<std::string> kPacketMessages = {"Hello Alice, this came",
                                                         "Hello Bob, this came"};
inline const std::vector<std::string> kInternetMessages = {
    "Hello from the Internet.", "Another one.", "It boots.", "It still boots."};

class BusyStation {
 public:
  BusyStation() {
    place.ExportFromFbb(kTwoExportedMails);
    place.OnServer(kTwoMailsForJane, kTwoArticles);
    WriteBytes(place.Work("autogo"), "");
  }

  [[nodiscard]] std::vector<std::string> Env(const std::vector<std::string>& extra) const {
    std::vector<std::string> env = {"PATH=" + (place.WorkDir() / "bin").string() + ":/usr/bin:/bin",
                                    "TIDEWIRE_SOUP_SERVER=" + (place.WorkDir() / "server").string(),
                                    "LD_PRELOAD=" TIDEWIRE_FAULT_SHIM,
                                    "TIDEWIRE_FAULT_DIR=" + place.WorkDir().string(),
                                    // The shim is preloaded ahead of the sanitizer runtime.
                                    "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0",
                                    // The AutoGO countdown in a twentieth of its four seconds.
                                    "TIDEWIRE_FAULT_CLOCK_SPEED=20"};
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
  }

  ConsoleResult Pass(const std::vector<std::string>& extra) {
    ConsoleResult result = RunConsoleWith(place.WorkDir(), "", Env(extra));
    AfterPass();
    return result;
  }

  // FBB imports what was handed over; a SOUP client the killed program left running ends first.
  void AfterPass() {
    WaitForProgramsIn(place.WorkDir());
    delivered += ReadBytes(place.Mailin("mail.in"));
    fs::remove(place.Mailin("mail.in"));
  }

  // Clean passes until one completes with nothing left over; false when none does in `limit`.
  bool RunToRest(std::string& outputs, int limit = 5) {
    for (int pass = 0; pass < limit; ++pass) {
      const ConsoleResult next = Pass({});
      outputs += next.output;
      if (next.exit_status == 0 && !fs::exists(place.Work("REPLIES")) &&
          !fs::exists(place.Work("MAIL.IN")) && fs::exists(place.Work("autogo"))) {
        return true;
      }
    }
    return false;
  }

  // How often each message reached the other end.
  [[nodiscard]] std::map<std::string, int> Arrivals() const {
    std::map<std::string, int> count;
    const std::string sent = ReadBytes(place.Sent("MAIL.MSG"));
    for (const std::string& marker : kPacketMessages) count[marker] = Occurrences(sent, marker);
    for (const std::string& marker : kInternetMessages) {
      count[marker] = Occurrences(delivered, marker);
    }
    return count;
  }

  CycleStation place;
  std::string delivered;

 private:
  // Waits (up to 30 s) until no process has its working directory in `dir`.
  static void WaitForProgramsIn(const fs::path& dir) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (AnyProgramIn(dir) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  static bool AnyProgramIn(const fs::path& dir) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
      const std::string pid = entry.path().filename().string();
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      const fs::path cwd = fs::read_symlink(entry.path() / "cwd", error);
      if (!error && cwd == fs::weakly_canonical(dir)) return true;
    }
    return false;
  }
};

// How many calls of each kind ("open", "write", ...) a clean pass of a busy station makes.
inline std::map<std::string, int> CallsOfAPass() {
  BusyStation station;
  const fs::path counts = station.place.Work("fault.counts");
  const ConsoleResult result = station.Pass({"TIDEWIRE_FAULT_COUNTS=" + counts.string()});
  EXPECT_EQ(result.exit_status, 0) << result.output;
  std::map<std::string, int> calls;
  std::ifstream in(counts);
  std::string op;
  int n = 0;
  while (in >> op >> n) calls[op] = n;
  return calls;
}

// About `spread` points over the calls of one kind, the last call included; every call when
// the environment variable says "all".
inline std::vector<int> Points(int calls, const char* sweep_variable, int spread) {
  std::vector<int> points;
  const char* sweep = std::getenv(sweep_variable);
  const int step =
      sweep != nullptr && std::string(sweep) == "all" ? 1 : std::max(1, calls / spread);
  for (int n = 1; n <= calls; n += step) points.push_back(n);
  if (!points.empty() && points.back() != calls) points.push_back(calls);
  return points;
}

inline const std::vector<std::string> kFileOperations = {"open",  "read",  "write", "rename",
                                                         "fsync", "close", "unlink"};

}  // namespace tidewire::testing
