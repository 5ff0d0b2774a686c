#include "cycle/bid_counter.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"

namespace tidewire::cycle {

namespace {

constexpr std::string_view kBidFile = "TWIREBID.BIN";
// Replaces the counter file with the digits of `value` (through a temporary name). A write that
// fails leaves the old file untouched: a half-written counter would make bulletin IDs repeat.
void WriteCounterFile(const fs::path& work_dir, std::int32_t value) {
  TextWriter writer(work_dir / kBidFile, TextWriter::Mode::kReplace);
  writer.Write(std::to_string(value));
  writer.Close();
}

// A typed line without the blanks around it.
std::string_view Stripped(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  const std::size_t end = line.find_last_not_of(" \t");
  return line.substr(start, end - start + 1);
}

// The operator's typed number as a whole number; nothing when the line is no such number.
std::optional<std::int32_t> TypedBidNumber(const std::optional<std::string>& line) {
  if (!line) return std::nullopt;
  return ParseDecimal(Stripped(*line));
}

bool IsYesLetter(const std::optional<std::string>& line) {
  if (!line) return false;
  const std::string_view letter = Stripped(*line);
  return letter == "y" || letter == "Y";
}

void ShowFirstRunWarning(Operator& op) {
  op.StatusLine("WARNING: Oh boy, I hope you are running");
  op.StatusLine("this version for the first time!");
  op.StatusLine("Could not find TWIREBID.BIN to determen");
  op.StatusLine("the last BID (Bulletin-ID)");
  op.StatusLine("Contact QX1VZP @ QX3VZP for questions.");
}

constexpr std::array<std::string_view, 5> kRefusalHints = {
    "You can do 3 things:",
    " 1 Start FBB and look for the last BID used by FBB",
    "   Look also in TWIRE.LOG for last BID in a previous session.",
    " 2 Use K@ INET to delete all INTERNET mail so you can start from BID 1_<name BBS>",
    "   Do you want to type in a BID number now?  (y/n)",
};

// The operator may type the last BID by hand. Only a whole number is stored: a guessed
// number must never reach the file, or FBB would see bulletin IDs again.
// True when the number reached the file.
bool TakeTypedBidNumber(const fs::path& work_dir, BidCounter& bid, Operator& op) {
  op.StatusLine(" Enter a BID-number now (max 99999) : ");
  const auto number = TypedBidNumber(op.TypedAnswer(TypedQuestion::kBidNumber));
  if (!number) {
    op.StatusLine(" No whole number typed: TWIREBID.BIN not written");
    return false;
  }
  bid.Set(*number);
  try {
    SaveBidCounter(work_dir, bid, op);
    return true;
  } catch (const IoError& error) {
    // The program halts either way; the operator must know the number was not stored.
    ErrorBox(op, error.what());
    return false;
  }
}

[[noreturn]] void RunFirstRunDialogue(const fs::path& work_dir, BidCounter& bid, Operator& op) {
  for (std::string_view hint : kRefusalHints) op.StatusLine(hint);
  const bool saved = IsYesLetter(op.TypedAnswer(TypedQuestion::kYesNoLetter)) &&
                     TakeTypedBidNumber(work_dir, bid, op);
  op.StatusLine(" Program halted");
  // The window closes with the program: the last word must stay readable until it is read.
  std::string farewell = "Program halted.\r";
  farewell += saved ? "TWIREBID.BIN now holds " + std::to_string(bid.value()) +
                          ": the next start numbers on from there."
                    : std::string(
                          "TWIREBID.BIN was not created: no message is written until "
                          "the last BID is known. Start Tidewire again to answer.");
  throw EndProgram{EndProgram::Reason::kBidCounterRefused, std::move(farewell)};
}

}  // namespace

void LoadBidCounter(const fs::path& work_dir, BidCounter& bid, Operator& op) {
  const fs::path file = work_dir / kBidFile;
  // A counter that is there but cannot be read is an error, never a first run.
  if (UsableFileExists(file)) {
    TextReader reader(file);
    const std::int32_t value = reader.ReadInteger();
    reader.Close();
    bid.Set(value);
    return;
  }
  ShowFirstRunWarning(op);
  const Answer answer = op.ShowBox(BoxKind::kConfirmation, Buttons::kYesNo,
                                   "Cannot find the file TWIREBID.BIN\rCreate?");
  if (answer != Answer::kYes) RunFirstRunDialogue(work_dir, bid, op);
  WriteCounterFile(work_dir, 1);
  bid.Set(1);
}

const std::array<std::string_view, 5>& BidRefusalHints() { return kRefusalHints; }

void SaveBidCounter(const fs::path& work_dir, const BidCounter& bid, Operator& op) {
  op.StatusLine(" Saving BID to TWIREBID.BIN");
  WriteCounterFile(work_dir, bid.value());
}

}  // namespace tidewire::cycle
