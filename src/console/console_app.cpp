#include "console/console_app.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/errors.h"
#include "base/operator.h"
#include "base/station.h"
#include "base/text.h"
#include "console/console_operator.h"
#include "cycle/floppy_backup.h"
#include "cycle/held_commands.h"
#include "cycle/run_cycle.h"
#include "cycle/run_log.h"
#include "cycle/start_up.h"
#include "platform/drives.h"
#include "platform/ini_file.h"
#include "platform/single_instance.h"

namespace tidewire::console {

namespace {

constexpr std::string_view kLockFile = "tidewire.lck";
constexpr std::string_view kCommandList =
    "Commands: GO!, Backup, Restore, LOG, HELD, RELEASE n, DROP n, Stop";

enum class Outcome { kGoOn, kEnd };

// What the run has done so far that its exit status reports.
struct Session {
  bool any_pass = false;
  cycle::PassEnd last_pass = cycle::PassEnd::kCompleted;
  std::string mail_not_moving;  // as the last pass found it

  [[nodiscard]] ExitStatus Status() const {
    return any_pass ? cycle::StatusFor(last_pass, mail_not_moving) : ExitStatus::kNormal;
  }
};

// GO!: one pass; in AutoGO mode the pass itself asks the window to close.
Outcome Go(Station& station, Session& session) {
  session.last_pass = cycle::RunCycle(station);
  session.mail_not_moving = station.MailNotMoving;
  session.any_pass = true;
  return station.panel.close_agreed ? Outcome::kEnd : Outcome::kGoOn;
}

// Runs one handler the way the main window does: an error that leaves it is shown in a box and
// the program waits for the next command.
template <typename Handler>
void Guarded(Station& station, Handler&& handler) {
  (void)RunShowingErrors(station.op, std::forward<Handler>(handler));
}

// "Stop": the flag files are saved, then the window closes unless the operator says No.
Outcome Stop(Station& station) {
  Outcome outcome = Outcome::kGoOn;
  Guarded(station, [&] {
    cycle::StopClick(station);
    if (cycle::FormClose(station)) outcome = Outcome::kEnd;
  });
  return outcome;
}

// The end of the input stops the program as Stop does; there is nobody left to ask whether
// to close, so the window closes without the question.
void StopAtEndOfInput(Station& station, ConsoleOperator& op) {
  op.Print("End of input: stopping.");
  Guarded(station, [&] { cycle::StopClick(station); });
}

// "RELEASE n" or "DROP n".
struct HeldCommandWords {
  bool release = false;
  int number = 0;
};

std::optional<HeldCommandWords> HeldCommand(std::string_view command) {
  const std::size_t blank = command.find(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  const std::string_view verb = command.substr(0, blank);
  const bool release = EqualsIgnoringCase(verb, "RELEASE");
  if (!release && !EqualsIgnoringCase(verb, "DROP")) return std::nullopt;
  const auto number = ParseDecimal(command.substr(command.find_first_not_of(' ', blank)));
  if (!number || *number <= 0) return std::nullopt;
  return HeldCommandWords{release, *number};
}

Outcome RunCommand(Station& station, ConsoleOperator& op, Session& session,
                   std::string_view command) {
  if (EqualsIgnoringCase(command, "GO!") || EqualsIgnoringCase(command, "GO")) {
    return Go(station, session);
  }
  // "Save" is the flat button that presses "Backup".
  if (EqualsIgnoringCase(command, "Backup") || EqualsIgnoringCase(command, "Save")) {
    Guarded(station, [&] { cycle::BackupToFloppy(station); });
    return Outcome::kGoOn;
  }
  if (EqualsIgnoringCase(command, "Restore")) {
    Guarded(station, [&] { cycle::RestoreFromFloppy(station); });
    return Outcome::kGoOn;
  }
  if (EqualsIgnoringCase(command, "LOG")) {
    Guarded(station, [&] { cycle::ListRunLog(station.work_dir, station.op); });
    return Outcome::kGoOn;
  }
  if (EqualsIgnoringCase(command, "HELD")) {
    Guarded(station, [&] { cycle::ShowHeld(station.work_dir, station.op); });
    return Outcome::kGoOn;
  }
  if (const auto held = HeldCommand(command)) {
    Guarded(station, [&] {
      if (held->release) {
        (void)cycle::ReleaseHeldMessage(station.work_dir, station.op, held->number);
      } else {
        (void)cycle::DropHeldMessage(station.work_dir, station.op, station.Now(), held->number);
      }
    });
    return Outcome::kGoOn;
  }
  if (EqualsIgnoringCase(command, "Stop")) return Stop(station);
  op.Print("Unknown command \"" + std::string(command) + "\". " + std::string(kCommandList));
  return Outcome::kGoOn;
}

std::string_view Stripped(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  const std::size_t end = line.find_last_not_of(" \t");
  return line.substr(start, end - start + 1);
}

void CommandLoop(Station& station, ConsoleOperator& op, Session& session) {
  op.Print(kCommandList);
  for (;;) {
    const std::optional<std::string> line = op.ReadInputLine();
    if (!line) {
      StopAtEndOfInput(station, op);
      return;
    }
    const std::string_view command = Stripped(*line);
    if (command.empty()) continue;
    if (RunCommand(station, op, session, command) == Outcome::kEnd) return;
  }
}

// The program as started with the flag file "autogo": GO is pressed at once and the pass ends
// with its own Stop press. A pass stopped by an error leaves the program waiting for the
// operator, as the window does.
void AutoGoStart(Station& station, ConsoleOperator& op, Session& session) {
  if (Go(station, session) == Outcome::kEnd) return;
  CommandLoop(station, op, session);
}

ExitStatus RunStation(ConsoleOperator& op) {
  Station station(op, std::filesystem::current_path());
  station.drives =
      platform::DrivesFromIni(platform::IniFile::Load(platform::IniFile::DefaultPath()));
  op.Print("Tidewire - Internet (e)mail <-> Packet Radio Gateway  (Tidewire V1.6)");
  Session session;
  try {
    Guarded(station, [&] { cycle::StartUp(station); });
    if (station.AutoGoMode) {
      AutoGoStart(station, op, session);
    } else {
      CommandLoop(station, op, session);
    }
  } catch (const EndProgram& end) {
    return cycle::StatusFor(end.reason);
  }
  return session.Status();
}

}  // namespace

int RunConsole(std::FILE* in, std::FILE* out) {
  ConsoleOperator op(in, out);
  std::optional<platform::SingleInstance> instance;
  try {
    instance.emplace(kLockFile);
  } catch (const IoError& error) {
    op.Print("Cannot open the lock file " + error.file() + ": " + error.what());
    return static_cast<int>(ExitStatus::kLockFileUnusable);
  }
  if (!instance->held()) {
    op.Print("Another Tidewire instance is running in this directory.");
    return static_cast<int>(ExitStatus::kAnotherInstance);
  }
  return static_cast<int>(RunStation(op));
}

}  // namespace tidewire::console
