#include "config/settings_commands.h"

#include "base/file_layer.h"
#include "base/operator.h"
#include "base/text.h"
#include "config/flag_files.h"

namespace tidewire::config {

namespace {

bool AskYes(Operator& op, std::string_view question) {
  return op.ShowBox(BoxKind::kConfirmation, Buttons::kYesNo, question) == Answer::kYes;
}

void SwitchFlag(const fs::path& work_dir, std::string_view name, bool on) {
  if (on) {
    CreateEmptyFile(work_dir / name);
  } else {
    DeleteFileIfPresent(work_dir / name);
  }
}

// Created only where nothing stands: a read-only file counts as absent to FileIsPresent, and
// creating it anew would throw away the operator's list.
void CreateIfMissing(const fs::path& work_dir, std::string_view name) {
  const auto path = work_dir / name;
  if (!EntryExists(path)) CreateEmptyFile(path);
}

}  // namespace

std::string_view HeaderButtonCaption(bool short_headers) {
  return short_headers ? kShortHeadersEnabled : kShortHeadersDisabled;
}

std::string SwapButtonCaption(std::string_view at, bool swap_news_address) {
  return swap_news_address ? std::string(at) + "@NEWSGP" : "NEWSGP@" + std::string(at);
}

std::string NewsExampleAddress(std::string_view at, bool swap_news_address) {
  return swap_news_address ? "(" + std::string(at) + " @ HACK)"
                           : "(HACK @ " + std::string(at) + ")";
}

void AskAdvancedQuestions(const fs::path& work_dir, Operator& op) {
  SwitchFlag(work_dir, kAckFlag, AskYes(op, "Send ACK-message to every received message?"));
  SwitchFlag(work_dir, kLeaveCopyFlag,
             AskYes(op, "Leave copy of email on mail-server (default=NO) ?"));
  if (!AskYes(op, "Enable WatchDog for SOUPER95? (Default=NO)")) {
    DeleteFileIfPresent(work_dir / kWatchdogFile);
    return;
  }
  // The minutes are asked here: an empty WATCH.DOG left for an editor that never came up made
  // every later pass start with "Error in file WATCH.DOG (Invalid time.)".
  op.StatusLine(
      "Enter number of minutes in file WATCH.DOG before Tdwire should close down "
      "SOUPER95.");
  const std::optional<std::string> typed = op.TypedAnswer(TypedQuestion::kWatchdogMinutes);
  const std::optional<std::int32_t> minutes =
      typed ? ParseDecimal(TrimTrailing(*typed)) : std::nullopt;
  if (!minutes || *minutes <= 0) {
    InformationBox(op, "No number of minutes: the WatchDog stays as it was.");
    return;
  }
  TextWriter out(work_dir / kWatchdogFile, TextWriter::Mode::kReplace);
  out.WriteLine(std::to_string(*minutes));
  out.Close();
}

void MarkAllMessagesRead(const fs::path& work_dir, Operator& op) {
  CreateIfMissing(work_dir, kMarkReadFlag);
  InformationBox(op,
                 "Please re-run the gateway again to mark all messages as read.\r"
                 "Choose GO from the main menu.");
}

void EnsureNewsListFiles(const fs::path& work_dir) {
  CreateIfMissing(work_dir, kNewsrcFile);
  CreateIfMissing(work_dir, kNewsDestinationsFile);
}

}  // namespace tidewire::config
