#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/station.h"

namespace tidewire::cycle {

// The three runs of the SOUP client in a pass.
enum class ClientCommand { kSend, kMarkRead, kFetch };

// How one run of the SOUP client ended.
enum class ClientRun { kEnded, kNotStarted, kStoppedByWatchdog };

// What the SOUP client step saw of its runs.
struct ClientRunsReport {
  int runs = 0;
  int not_started = 0;
  int stopped_by_watchdog = 0;
  bool sent = false;     // a send run ended with status 0
  bool fetched = false;  // the fetch run ended with status 0

  // True when every run started and ended by itself.
  [[nodiscard]] bool AllEnded() const { return not_started == 0 && stopped_by_watchdog == 0; }
};

// Where the password goes: on the command line (what a souper-compatible client reads), or not
// (the own client takes it from the environment, which other users cannot read).
enum class PasswordOnLine { kYes, kNo };

// The command line of a run: "souper95.exe", "-r" when the flag file LCOPY is present, the
// run's option, its server, UserID and PassWord, joined as they are.
[[nodiscard]] std::string SoupCommandLine(const std::filesystem::path& work_dir,
                                          const GatewayConfig& config, ClientCommand command,
                                          PasswordOnLine password = PasswordOnLine::kYes);

// Starts SOUPER95 from a command line in the working directory and waits for its end, under
// the watchdog when WATCH.DOG set one. A client the watchdog stops is ended by force, warned
// about and followed by a ten-second pause. "Unable to execute SOUPER95" when it cannot start.
// `environment` ("NAME=value") is added to the client's environment alone.
// `exit_status`, when given, receives the status of a client that ended by itself (else -1).
ClientRun RunSoupClient(Station& station, std::string_view command_line,
                        const std::vector<std::string>& environment = {},
                        int* exit_status = nullptr);

// One run of a pass. The project's own client gets the password in its environment and a
// command line without it; any other client gets the command line above.
ClientRun RunSoupClient(Station& station, ClientCommand command, int* exit_status = nullptr);

// Whether the own client of an earlier pass (its gateway killed) still holds the station's
// client lock: then its files are in work, and no pass may send, fetch or convert.
[[nodiscard]] bool SoupClientStillRuns(const std::filesystem::path& work_dir);

// The SOUP client step of a pass: backs the reply packet up, sends it when REPLIES is there,
// marks the waiting mail read when A_READ asks for it, fetches, and backs the downloads up.
ClientRunsReport SoupClientRuns(Station& station);

}  // namespace tidewire::cycle
