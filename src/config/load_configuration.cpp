#include "config/load_configuration.h"

#include <algorithm>
#include <string>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/operator.h"
#include "base/text.h"
#include "config/fbb_limits.h"
#include "config/flag_files.h"
#include "config/settings_file.h"
#include "platform/drives.h"

namespace tidewire::config {

namespace {

// A complete FBB address carries its send command.
bool HasSendCommand(std::string_view address) {
  const std::string upper = UpperCopy(address);
  return upper.find("SP ") != std::string::npos || upper.find("SB ") != std::string::npos;
}

void DeleteFlagIfPresent(Station& station, std::string_view name) {
  const auto path = station.File(name);
  if (FileIsPresent(path)) DeleteFile(path);
}

void CheckMailinDrive(Station& station) {
  if (platform::PathDriveIsReady(station.config.MailinDIR, station.drives)) return;
  ErrorBox(station.op, "Cannot access MAIL.IN-DIR Drive!");
  // "autogo" stays: under a timer the next start tries again, and one outage does not turn
  // into passes that never run and end with success. Only the operator switches AutoGO off.
  throw EndProgram{EndProgram::Reason::kDriveNotReady};
}

void ReadAfterXMessage(Station& station, std::string line) {
  GatewayConfig& config = station.config;
  if (const auto value = ParseDecimal(line)) {
    config.AfterXMessage = *value;
  } else {
    WarningBox(station.op, "Error in file TWIRE.CFG (invalid value AfterXMessageStr)");
    config.AfterXMessage = LeadingDigitsValue(line);
  }
  station.panel.after_x_entry = line;
  config.AfterXMessageStr = std::move(line);
}

void ReadConfigFile(Station& station) {
  const auto path = station.File(kConfigFile);
  if (!FileIsPresent(path)) {
    ErrorBox(station.op, kConfigFileMissingText);
    return;
  }
  station.Status(" Reading file: TWIRE.CFG");
  TextReader in(path, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  GatewayConfig& c = station.config;
  c.MailinDIR = in.ReadLine();
  CheckMailinDrive(station);
  c.HRoute = in.ReadLine();
  c.QTH = in.ReadLine();
  c.BBSCall = in.ReadLine();
  c.AT2 = in.ReadLine();
  if (!HasSendCommand(c.AT2)) {
    ErrorBox(station.op, "No SB/SP found in NON personal EMAIL-to field\r(General Settings)");
  }
  for (std::string* field :
       {&c.Remailer, &c.InfoLine, &c.InfoLine2, &c.AT, &c.SMTPmailserver, &c.POP3mailserver,
        &c.NewsServer, &c.UserID, &c.PassWord, &c.EmailAccount}) {
    *field = in.ReadLine();
  }
  c.ShortNewsHeaders = FlagLineIsTrue(in.ReadLine());
  c.ShortMailHeaders = FlagLineIsTrue(in.ReadLine());
  ReadAfterXMessage(station, in.ReadLine());
  c.SwapNewsAddress = FlagLineIsTrue(in.ReadLine());
  // The code itself is stored by the settings dialog's reading; a load only sets mode 2, and
  // never clears it.
  if (in.ReadLine() == "2") c.ConfigurationCodeMode2 = true;
  c.UniversalFrom = FlagLineIsTrue(in.ReadLine());
  in.Close();
}

void ReadNewsDestinations(Station& station) {
  const auto path = station.File(kNewsDestinationsFile);
  if (!FileIsPresent(path)) return;
  station.Status(" Reading file: TWIRE.PTI");
  TextReader in(path, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  std::vector<std::string> entries;
  bool more = false;
  while (!in.AtEnd() && !more) {
    std::string entry = TrimTrailing(in.ReadLine());
    if (entries.size() < GatewayConfig::kMaxNewsDestinations) {
      entries.push_back(std::move(entry));
    } else {
      more = !entry.empty();  // blank lines past the table lose nothing
    }
  }
  in.Close();
  station.config.NewsDestinations = std::move(entries);
  if (more) {
    station.Status("WARNING: TWIRE.PTI has more than 50 lines; lines after 50 are not used");
  }
}

std::int32_t MailingListCountOf(Station& station, std::string_view line) {
  if (const auto value = ParseDecimal(line)) return *value;
  WarningBox(station.op, "Invalid number of mailinglists in file ML.CFG");
  return LeadingDigitsValue(line);
}

void ReadMailingLists(Station& station) {
  GatewayConfig& config = station.config;
  config.MailingListsLoaded = false;
  const auto path = station.File(kMailingListsFile);
  if (!FileIsPresent(path)) return;
  station.Status(" Reading file: ML.CFG");
  TextReader in(path, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  std::string line = in.ReadLine();
  while (line.find('#') != std::string::npos) line = in.ReadLine();
  const std::int32_t count = MailingListCountOf(station, line);
  const auto limit = static_cast<std::int32_t>(GatewayConfig::kMaxMailingLists);
  if (count > limit) {
    station.Status("WARNING: ML.CFG announces " + std::to_string(count) +
                   " mailing lists; lists after 31 are not used");
  }
  std::vector<MailingList> lists;
  for (std::int32_t k = 1; k <= std::min(count, limit); ++k) {
    MailingList list;
    list.ListName = in.ReadLine();
    list.FromPattern = in.ReadLine();
    list.ToPattern = in.ReadLine();
    list.SubjectPattern = in.ReadLine();
    list.ListAddress = in.ReadLine();
    if (!HasSendCommand(list.ListAddress)) {
      ErrorBox(station.op, "No SB/SP found in ML.CFG mailinglist : " + std::to_string(k));
    }
    (void)in.ReadLine();  // separator
    lists.push_back(std::move(list));
  }
  in.Close();
  config.MailingLists = std::move(lists);
  config.MailingListsLoaded = true;
}

void ReadWatchdog(Station& station) {
  GatewayConfig& config = station.config;
  config.WatchdogEnabled = false;
  const auto path = station.File(kWatchdogFile);
  if (!FileIsPresent(path)) return;
  station.Status(" Reading file WATCH.DOG");
  TextReader in(path, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  const std::string line = in.ReadLine();
  in.Close();
  const auto minutes = ParseDecimal(line);
  if (!minutes) {
    ErrorBox(station.op, "Error in file WATCH.DOG (Invalid time.)");
    return;
  }
  config.WatchdogMinutes = *minutes;
  config.WatchdogEnabled = true;
}

// The main window's AutoGO box is cleared; its click handler ends AutoGO mode.
void ClearAutoGoBox(Station& station) {
  station.panel.auto_go = false;
  if (!station.AutoGoMode) return;
  DeleteFlagIfPresent(station, kAutoGoFlag);
  station.AutoGoMode = false;
  station.op.giveTurn();
}

void CheckNewsrc(Station& station) {
  const auto path = station.File(kNewsrcFile);
  if (!FileIsPresent(path)) return;
  station.Status(" Reading file: .NEWSRC");
  TextReader in(path, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  for (int n = 1; !in.AtEnd(); ++n) {
    if (in.ReadLine().find('!') == std::string::npos) continue;
    WarningBox(station.op, "Found error in line " + std::to_string(n) +
                               " of the newsgroups config-file\r"
                               "Please check your newsgroups and abort this session.");
    ClearAutoGoBox(station);
  }
  in.Close();
}

}  // namespace

void LoadConfiguration(Station& station) {
  ReadConfigFile(station);
  ReadNewsDestinations(station);
  ReadMailingLists(station);
  ReadWatchdog(station);
  CheckNewsrc(station);
  ReportLimitWarnings(station.op, ConfigLimitWarnings(station.config));
  // The users' own fields were checked when the table was loaded at start.
  ReportLimitWarnings(station.op, UserHeaderWarnings(station.users, station.config));
}

}  // namespace tidewire::config
