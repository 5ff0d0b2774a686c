#include "cycle/run_cycle.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "base/file_layer.h"
#include "config/fbb_limits.h"
#include "config/flag_files.h"
#include "config/load_configuration.h"
#include "config/user_database.h"
#include "cycle/backup_folder.h"
#include "cycle/bid_counter.h"
#include "cycle/health.h"
#include "cycle/run_log.h"
#include "cycle/soup_client.h"
#include "cycle/start_up.h"
#include "inbound/downloads.h"
#include "outbound/export_file.h"
#include "outbound/reply_packet.h"

namespace tidewire::cycle {

namespace {

constexpr std::string_view kMailIn = "MAIL.IN";
// LinFBB's own spelling; an existing file of another letter case keeps its name.
constexpr std::string_view kMailInForFbb = "mail.in";
// Never a name FBB imports, so it cannot take a half-written file.
constexpr std::string_view kMailInBeingWritten = "tidewire.tmp";
// The working MAIL.IN while its complete copy is renamed into place for FBB: a pass killed
// then is finished by the next one without handing the same messages over twice.
constexpr std::string_view kMailInBeingHanded = "MAIL.OUT";
constexpr std::string_view kExportFile = "fbbemail";
constexpr std::string_view kReplies = "REPLIES";
constexpr std::string_view kLogFile = "TWIRE.LOG";
constexpr int kAutoGoSeconds = 4;

// The pass has already told the operator why it stops.
struct PassStopped {};

// What the leftover test found, in the order it looks.
enum class Leftover { kNone, kUnimportedMailIn, kUndeliveredMailIn, kUnsentReplies };

void SaveSoundSetting(Station& station) {
  station.SoundOn = station.panel.sound;
  if (station.SoundOn) {
    CreateEmptyFile(station.File(config::kSoundFlag));
  } else {
    DeleteFileIfPresent(station.File(config::kSoundFlag));
  }
}

// A non-empty MAIL.IN in the working directory at the start of a pass is one an earlier pass
// could not hand over; converting on top of it would only pile more onto a file FBB lacks.
Leftover FindLeftover(const Station& station) {
  // Whoever put it there and whatever its owner: FBB has not taken it yet.
  if (EntryExists(station.MailinFile(kMailIn))) return Leftover::kUnimportedMailIn;
  const fs::path working = station.File(kMailIn);
  if (UsableFileExists(working) && FileSizeOf(working) > 0) return Leftover::kUndeliveredMailIn;
  // A packet is never packed over: an unreadable REPLIES blocks the pass as a readable one does.
  if (EntryExists(station.File(kReplies))) return Leftover::kUnsentReplies;
  return Leftover::kNone;
}

// What a hand-over killed halfway left: the copy for FBB, when still there, is complete.
void FinishEarlierHandOver(Station& station) {
  const fs::path handed = station.File(kMailInBeingHanded);
  if (!EntryExists(handed)) return;
  const fs::path copy = station.MailinFile(kMailInBeingWritten);
  if (EntryExists(copy)) {
    // FBB first takes the one that is there; the leftover test then blocks this pass.
    if (EntryExists(station.MailinFile(kMailInForFbb))) return;
    station.Status(" Handing over MAIL.IN of an interrupted pass");
    RenameFile(copy, station.MailinFile(kMailInForFbb));
  }
  DeleteFile(handed);
}

// HandOverMailIn with the failure told in a box that says where the messages are.
void HandOverOrStop(Station& station) {
  try {
    HandOverMailIn(station);
  } catch (const IoError& error) {
    ErrorBox(station.op, "MAIL.IN could not be handed to FBB: " + error.BoxText() +
                             "\rIt stays in the working directory; the next pass hands it over.");
    throw PassStopped{};
  }
}

// The list says which file holds the pass up and where it lies, not only "- COMPLETED -".
void SayWhereItWaits(Station& station) {
  station.Status("    " + ResolvePath(station.MailinFile(kMailIn)).string() +
                 " waits for FBB, which takes it at the start of a minute");
}

void BlockedByUnimportedMailIn(Station& station) {
  if (station.AutoGoMode) {
    station.op.SetStatus1("Countdown");
    station.Status("*** Program stopped ****");
    station.Status("*** There exists an unimported MAIL.IN file.");
    SayWhereItWaits(station);
    station.Status("");
    AutoGoCountdown(station);
  } else {
    ErrorBox(station.op, "Process stopped! There exists an unimported MAIL.IN file \r" +
                             std::string(35, ' ') + "OR\ran unsend EMAIL Packet");
    SayWhereItWaits(station);
  }
}

void BlockedByUndeliveredMailIn(Station& station) {
  if (station.AutoGoMode) {
    station.Status("*** UNDELIVERED MAIL.IN FOUND, HANDING IT TO FBB NOW... ***");
  } else if (station.op.ShowBox(BoxKind::kConfirmation, Buttons::kYesNo,
                                "MAIL.IN of an earlier pass was not handed to FBB!\r"
                                "Should I hand it over now?") != Answer::kYes) {
    return;
  }
  HandOverOrStop(station);
}

// The client runs of a pass; HEALTH learns when mail last went out and came in.
void ClientRunsNoted(Station& station, Health& health) {
  const ClientRunsReport report = SoupClientRuns(station);
  if (report.fetched) health.last_fetch = station.Now();
  if (report.sent) health.last_send = station.Now();
}

void BlockedByUnsentReplies(Station& station, Health& health) {
  station.Status("    The reply packet of an earlier pass waits: " +
                 ResolvePath(station.File(kReplies)).string());
  if (station.AutoGoMode) {
    station.Status("*** UNSEND EMAIL FOUND, SENDING NOW... ***");
    ClientRunsNoted(station, health);
  } else if (station.op.ShowBox(BoxKind::kConfirmation, Buttons::kYesNo,
                                "Unsend EMAIL found! Should I send it now?") == Answer::kYes) {
    ClientRunsNoted(station, health);
  }
}

void BlockedPath(Station& station, Leftover leftover, Health& health) {
  switch (leftover) {
    case Leftover::kUnimportedMailIn:
      BlockedByUnimportedMailIn(station);
      break;
    case Leftover::kUndeliveredMailIn:
      BlockedByUndeliveredMailIn(station);
      break;
    case Leftover::kUnsentReplies:
      BlockedByUnsentReplies(station, health);
      break;
    case Leftover::kNone:
      break;
  }
}

// Packet to Internet, the SOUP client, and Internet to packet with the counter around it.
// Returns whether every client run ended by itself.
bool ConvertBothWays(Station& station, Health& health) {
  if (station.AutoGoMode) {
    station.op.SetStatus1("*** AUTO GO ***");
    station.Status(" Countdown started...");
    AutoGoCountdown(station);
  } else {
    station.op.SetStatus1("PROCESSING");
  }
  outbound::ProcessExportFile(station);
  bool clients_ended = true;
  if (station.AutoGoMode ||
      station.op.ShowBox(BoxKind::kConfirmation, Buttons::kYesNo,
                         "Should I get/send Internet mail now?") == Answer::kYes) {
    const ClientRunsReport report = SoupClientRuns(station);
    clients_ended = report.AllEnded();
    if (report.fetched) health.last_fetch = station.Now();
    if (report.sent) health.last_send = station.Now();
  }
  station.op.giveTurn();
  LoadBidCounter(station.work_dir, station.bid, station.op);
  station.op.SetError1("Starting");
  station.op.giveTurn();
  if (station.SoundOn) station.op.PlaySound(station.File("convrt.wav"));
  inbound::ConvertDownloads(station);
  SaveBidCounter(station.work_dir, station.bid, station.op);
  return clients_ended;
}

// The log, its spare copy, and MAIL.IN to FBB (an empty one just goes).
void FinishNormalPass(Station& station) {
  const std::int64_t size = FileSizeOf(station.File(kMailIn));
  station.Status(" Updating LOG-file");
  WriteRunLog(station.work_dir, station.counters, station.bid.value(), station.Now());
  station.Status(" Creating backup LOG-file");
  CopyToBackup(station.work_dir, kLogFile);
  if (size == 0) {
    station.Status(" Deleting MAIL.IN-File, Filesize = 0");
    DeleteFile(station.File(kMailIn));
    return;
  }
  station.Status(" Creating backup of MAIL.IN-file...");
  CopyToBackup(station.work_dir, kMailIn);
  HandOverOrStop(station);
}

void Ending(Station& station) {
  const fs::path export_file = station.MailinFile(kExportFile);
  // An export file that is there but held by FBB is FBB's to finish, never ours to empty.
  if (!FileIsPresent(export_file) && !EntryExists(export_file)) {
    station.Status(" Creating clean/empty FBBEMAIL file");
    CreateEmptyFile(export_file);
  }
  station.Status("- COMPLETED -");
  station.op.SetStatus1(station.panel.auto_go ? "*** AUTO GO ***" : " Ready to GO!");
  station.op.SetError1(" Idle");
  station.op.giveTurn();
  if (station.SoundOn) station.op.PlaySound(station.File("stndby.wav"));
  if (station.AutoGoMode) {
    StopClick(station);
    if (FormClose(station)) station.panel.close_agreed = true;
  }
}

// A server as it may be shown: a password in a URL's user part becomes "***".
std::string WithoutPassword(std::string server) {
  const std::size_t scheme = server.find("://");
  const std::size_t at = server.rfind('@');
  if (scheme == std::string::npos || at == std::string::npos || at < scheme) return server;
  const std::size_t colon = server.find(':', scheme + 3);
  if (colon != std::string::npos && colon < at) server.replace(colon + 1, at - colon - 1, "***");
  return server;
}

// The first line of a pass: which station, which servers, when mail last moved well.
std::string PassHeading(const Station& station, const Health& health) {
  const GatewayConfig& config = station.config;
  return " Station " + fs::absolute(station.work_dir).lexically_normal().string() + ": SMTP " +
         WithoutPassword(config.SMTPmailserver) + ", mailbox " +
         WithoutPassword(config.POP3mailserver) + ", news " + WithoutPassword(config.NewsServer) +
         "; last good pass " + WhenText(health.last_good_pass);
}

// What this pass saw of mail moving, for HEALTH and the exit status of an unattended run.
void NoteHealth(Station& station, Health& health, Leftover leftover, PassEnd end) {
  const std::time_t now = station.Now();
  const auto waiting = [now](std::time_t since, bool still) {
    return still ? (since ? since : now) : 0;
  };
  health.mailin_waiting_since =
      waiting(health.mailin_waiting_since, leftover == Leftover::kUnimportedMailIn);
  health.packet_waiting_since =
      waiting(health.packet_waiting_since, EntryExists(station.File(kReplies)));
  if (end == PassEnd::kCompleted) health.last_good_pass = now;
  WriteHealth(station.work_dir, health);
  station.MailNotMoving = MailNotMoving(health, now, StillMinutes(station.work_dir));
  if (!station.MailNotMoving.empty())
    station.Status("*** Mail does not move: " + station.MailNotMoving);
  station.op.ShowHealth(HealthSummary(health, station.MailNotMoving),
                        !station.MailNotMoving.empty());
}

// Settings that address every message to where FBB drops it silently (AT2 without its "SB ", a
// to-field over six characters, ...): nothing is fetched or converted until they are mended, so
// the mail waits on the provider instead of being lost.
void StopOnSettingsFbbDrops(Station& station) {
  const std::vector<std::string> faults = config::ConfigDropFaults(station.config);
  if (faults.empty()) return;
  std::string text = "The pass is stopped: FBB would drop the messages these settings address.";
  for (const std::string& fault : faults) text += "\r" + fault;
  ErrorBox(station.op, text);
  throw PassStopped{};
}

PassEnd RunPass(Station& station) {
  SaveSoundSetting(station);
  station.counters.Reset();
  config::LoadConfiguration(station);
  FinishEarlierHandOver(station);
  inbound::FinishInterruptedConversion(station.work_dir, station.op);
  // A packing a killed pass left whole goes in place before the leftover test looks at the
  // packet: sent as it stood, the old packet would go again inside the new one.
  outbound::PutPackedFilesInPlace(station.work_dir);
  if (station.UsersUnread) {
    config::LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
    station.UsersUnread = false;
  }
  StopOnSettingsFbbDrops(station);
  if (SoupClientStillRuns(station.work_dir)) {
    // Its files are half written: nothing is sent, fetched or converted beside it.
    constexpr std::string_view kStillRuns =
        "A SOUP client of an earlier pass still runs in this station; the pass waits for it.";
    if (station.AutoGoMode) {
      station.Status(std::string(kStillRuns));
    } else {
      ErrorBox(station.op, kStillRuns);
    }
    Ending(station);
    return PassEnd::kBlocked;
  }
  Health health = ReadHealth(station.work_dir);
  station.Status(PassHeading(station, health));
  const Leftover leftover = FindLeftover(station);
  PassEnd end = PassEnd::kBlocked;
  if (leftover != Leftover::kNone) {
    BlockedPath(station, leftover, health);
  } else {
    end = ConvertBothWays(station, health) ? PassEnd::kCompleted : PassEnd::kClientTrouble;
    FinishNormalPass(station);
  }
  NoteHealth(station, health, leftover, end);
  Ending(station);
  return end;
}

}  // namespace

PassEnd RunCycle(Station& station) {
  PassEnd end = PassEnd::kStoppedOnError;
  try {
    if (!RunShowingErrors(station.op, [&] { end = RunPass(station); })) {
      return PassEnd::kStoppedOnError;
    }
  } catch (const PassStopped&) {
    return PassEnd::kStoppedOnError;
  }
  return end;
}

void AutoGoCountdown(Station& station) {
  Operator& op = station.op;
  op.ResetTicks();
  op.StartTimer();
  do {
    op.SetError1(std::to_string(kAutoGoSeconds - op.Ticks()));
    op.giveTurn();
  } while (op.Ticks() < kAutoGoSeconds && station.AutoGoMode);
}

void BitBtn1Click(Station& station) {
  DeleteFileIfPresent(station.File(config::kAutoGoFlag));
  station.AutoGoMode = false;
  station.panel.stop_auto_go_enabled = false;
  if (FormClose(station)) station.panel.close_agreed = true;
}

void HandOverMailIn(Station& station) {
  const fs::path working = station.File(kMailIn);
  const fs::path handed = station.File(kMailInBeingHanded);
  const fs::path being_written = station.MailinFile(kMailInBeingWritten);
  const fs::path for_fbb = station.MailinFile(kMailInForFbb);
  // A MAIL.IN that appeared in MailinDIR during the pass is FBB's, not to be replaced.
  if (EntryExists(for_fbb)) throw IoError(IoCode::kAccessDenied, for_fbb.string());
  const auto drop_copy = [&] {
    try {
      DeleteFileIfPresent(being_written);
    } catch (const IoError&) {
      // The first error is the one the operator needs to see.
    }
  };
  try {
    CopyToNewFile(working, being_written);
    RenameFile(working, handed);
  } catch (const IoError&) {
    drop_copy();
    throw;
  }
  try {
    RenameFile(being_written, for_fbb);
  } catch (const IoError&) {
    try {
      RenameFile(handed, working);
      drop_copy();
    } catch (const IoError&) {
      // The copy stays beside MAIL.OUT: the next pass hands it over.
    }
    throw;
  }
  try {
    DeleteFile(handed);
  } catch (const IoError&) {
    // FBB has the messages; the next pass removes what is left of the hand-over.
  }
}

}  // namespace tidewire::cycle
