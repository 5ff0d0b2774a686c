#include "cycle/soup_client.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/file_layer.h"
#include "base/text.h"
#include "config/flag_files.h"
#include "cycle/backup_folder.h"
#include "platform/child_process.h"

namespace tidewire::cycle {

namespace {

constexpr std::string_view kProgramWord = "souper95.exe";
// The project's own SOUP client, installed beside the gateway.
constexpr std::string_view kOwnClient = "tidewire-soup";
constexpr std::string_view kReplies = "REPLIES";
constexpr std::string_view kIndex = "INDEX";
constexpr int kWatchdogPauseSeconds = 10;

// The program file for the first word of a command line: the word itself on PATH, then the
// word without ".exe" (the Linux name of a Windows program), then the own client beside the
// gateway.
std::filesystem::path FindSoupClient(std::string_view word) {
  std::filesystem::path found = platform::FindProgram(word);
  if (!found.empty()) return found;
  if (word.size() > 4 && EqualsIgnoringCase(word.substr(word.size() - 4), ".exe")) {
    found = platform::FindProgram(word.substr(0, word.size() - 4));
    if (!found.empty()) return found;
  }
  const std::filesystem::path own = platform::OwnFolder();
  if (own.empty()) return {};
  return platform::FindProgram((own / kOwnClient).string());
}

// The watchdog's limit; the client is waited for without one when WATCH.DOG set none.
std::optional<std::chrono::milliseconds> WatchdogLimit(const Station& station) {
  if (!station.config.WatchdogEnabled) return std::nullopt;
  const std::int64_t minutes = std::max<std::int32_t>(station.config.WatchdogMinutes, 0);
  return std::chrono::milliseconds(minutes * 60'000);
}

// Waits for the client within the watchdog's limit, putting each line it writes into the status
// list as it comes (the operator sees "login refused" when it happens, not in a terminal).
// True once it has ended.
bool WaitShowingItsLines(Station& station, platform::ChildProcess& child) {
  using Clock = std::chrono::steady_clock;
  constexpr std::chrono::milliseconds kSlice(200);
  const std::optional<std::chrono::milliseconds> limit = WatchdogLimit(station);
  const Clock::time_point deadline = limit ? Clock::now() + *limit : Clock::time_point::max();
  for (;;) {
    std::chrono::milliseconds slice = kSlice;
    if (limit) {
      slice =
          std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                     std::chrono::milliseconds(0), kSlice);
    }
    const bool ended = station.op.WaitForChild(child, slice);
    for (const std::string& line : child.TakeLines(ended)) station.Status(line);
    if (ended) return true;
    if (limit && Clock::now() >= deadline) return false;
  }
}

void WarnOfStoppedClient(Station& station) {
  Operator& op = station.op;
  op.Beep();
  station.Status("");
  station.Status(" *** WARNING *** WARNING *** WARNING ***");
  op.Beep();
  station.Status("");
  station.Status("     WATCHDOG deactivated SOUPER95");
  op.Beep();
  station.Status("");
  station.Status(" *** WARNING *** WARNING *** WARNING ***");
  station.Status("");
  op.Beep();
}

// Ten seconds for the operator to read the warning; they cannot be cut short.
void WatchdogPause(Station& station) {
  Operator& op = station.op;
  op.ResetTicks();
  op.StartTimer();
  do {
    op.SetError1(std::to_string(kWatchdogPauseSeconds - op.Ticks()));
    op.giveTurn();
  } while (op.Ticks() < kWatchdogPauseSeconds);
}

void BackUpIfPresent(Station& station, std::string_view name) {
  station.Status(" Creating backup of: " + std::string(name));
  if (FileIsPresent(station.File(name))) CopyToBackup(station.work_dir, name);
}

void Count(ClientRunsReport& report, ClientRun run) {
  ++report.runs;
  if (run == ClientRun::kNotStarted) ++report.not_started;
  if (run == ClientRun::kStoppedByWatchdog) ++report.stopped_by_watchdog;
}

}  // namespace

std::string SoupCommandLine(const std::filesystem::path& work_dir, const GatewayConfig& config,
                            ClientCommand command, PasswordOnLine password) {
  std::string line(kProgramWord);
  line += ' ';
  if (FileIsPresent(work_dir / config::kLeaveCopyFlag)) line += "-r ";
  switch (command) {
    case ClientCommand::kSend:
      line += "-s " + config.SMTPmailserver;
      break;
    case ClientCommand::kMarkRead:
      line += "-c 0 " + config.POP3mailserver;
      break;
    case ClientCommand::kFetch:
      line += "-k 500000 " + config.POP3mailserver;
      break;
  }
  line += " " + config.UserID;
  if (password == PasswordOnLine::kYes) line += " " + config.PassWord;
  return line;
}

ClientRun RunSoupClient(Station& station, ClientCommand command, int* exit_status) {
  const std::filesystem::path program = FindSoupClient(kProgramWord);
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(program, error);
  // Activity says what the client does while it runs.
  station.op.SetError1(command == ClientCommand::kSend       ? "SOUPER95 sending"
                       : command == ClientCommand::kMarkRead ? "SOUPER95 marking read"
                                                             : "SOUPER95 getting");
  const ClientRun run =
      program.empty() || error || real.filename() != kOwnClient
          ? RunSoupClient(station, SoupCommandLine(station.work_dir, station.config, command), {},
                          exit_status)
          : RunSoupClient(
                station,
                SoupCommandLine(station.work_dir, station.config, command, PasswordOnLine::kNo),
                {"TIDEWIRE_SOUP_PASSWORD=" + station.config.PassWord}, exit_status);
  station.op.SetError1("Starting");
  return run;
}

ClientRun RunSoupClient(Station& station, std::string_view command_line,
                        const std::vector<std::string>& environment, int* exit_status) {
  if (exit_status != nullptr) *exit_status = -1;
  const std::vector<std::string> words = platform::SplitCommandLine(command_line);
  const std::filesystem::path program =
      words.empty() ? std::filesystem::path() : FindSoupClient(words.front());
  std::optional<platform::ChildProcess> child;
  if (!program.empty()) {
    child = platform::ChildProcess::Start(program, words, station.work_dir, environment,
                                          /*capture=*/true);
  }
  if (!child) {
    ErrorBox(station.op, "Unable to execute SOUPER95");
    return ClientRun::kNotStarted;
  }
  // The pass does nothing else meanwhile (a window only keeps painting): files are exchanged
  // only before the start and after the end.
  (void)WaitShowingItsLines(station, *child);
  station.op.giveTurn();
  if (child->WaitFor(std::chrono::milliseconds(2)) || !station.config.WatchdogEnabled) {
    if (exit_status != nullptr && child->ended()) *exit_status = child->exit_status();
    return ClientRun::kEnded;
  }
  child->Kill();
  WarnOfStoppedClient(station);
  WatchdogPause(station);
  return ClientRun::kStoppedByWatchdog;
}

bool SoupClientStillRuns(const std::filesystem::path& work_dir) {
  const std::filesystem::path lock = ResolvePath(work_dir / "tidewire-soup.lck");
  const int fd = ::open(lock.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

ClientRunsReport SoupClientRuns(Station& station) {
  for (std::string_view name : {"MAIL.MSG", "NEWS.MSG", "REPLIES", "INDEX"}) {
    BackUpIfPresent(station, name);
  }
  station.Status(" Deleting file: INDEX");
  DeleteFileIfPresent(station.File(kIndex));
  platform::SetEnvironment("NNTPSERVER", station.config.NewsServer);
  platform::SetEnvironment("HOME", std::filesystem::absolute(station.work_dir).string());
  if (station.SoundOn) station.op.PlaySound(station.File("access.wav"));

  ClientRunsReport report;
  if (FileIsPresent(station.File(kReplies))) {
    station.Status(" Waiting for SOUPER95 to SEND mail...");
    station.op.giveTurn();
    int status = -1;
    Count(report, RunSoupClient(station, ClientCommand::kSend, &status));
    report.sent = status == 0;
  }
  if (FileIsPresent(station.File(config::kMarkReadFlag))) {
    station.op.giveTurn();
    Count(report, RunSoupClient(station, ClientCommand::kMarkRead));
    DeleteFileIfPresent(station.File(config::kMarkReadFlag));
  }
  station.Status(" Waiting for SOUPER95 to GET mail...");
  station.op.giveTurn();
  int status = -1;
  Count(report, RunSoupClient(station, ClientCommand::kFetch, &status));
  report.fetched = status == 0;

  station.Status(" Creating BACKUPS of downloaded message-files...");
  for (const std::string& name : ListFiles(station.work_dir, "*.MSG")) {
    CopyToBackup(station.work_dir, name);
  }
  return report;
}

}  // namespace tidewire::cycle
