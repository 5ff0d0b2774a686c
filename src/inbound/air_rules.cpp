#include "inbound/air_rules.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "base/dates.h"
#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"
#include "platform/child_process.h"

namespace tidewire::inbound {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kAcceptFile = "ACCEPT.LST";
constexpr std::string_view kFilterFile = "FILTER.CMD";
constexpr std::string_view kMaxSizeFile = "MAXSIZE";
// The message the filter reads on its standard input, for the length of one run.
constexpr std::string_view kFilterInput = "FILTER.IN";

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The lines of a station file a person typed, without comments and blanks; nothing when the
// file is not there.
std::optional<std::vector<std::string>> Entries(const fs::path& file) {
  if (!FileIsPresent(file)) return std::nullopt;
  std::vector<std::string> entries;
  TextReader in(file, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  while (!in.AtEnd()) {
    std::string line = in.ReadLine();
    line = line.substr(0, line.find('#'));
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    const std::size_t end = line.find_first_of(" \t", start);
    entries.push_back(line.substr(start, end == std::string::npos ? end : end - start));
  }
  in.Close();
  return entries;
}

std::optional<std::vector<std::string>> AcceptEntries(const fs::path& work_dir) {
  auto entries = Entries(work_dir / kAcceptFile);
  if (entries) {
    for (std::string& entry : *entries) entry = Lower(entry);
  }
  return entries;
}

Judgement Held(std::string reason) { return {Verdict::kHeld, std::move(reason)}; }

Judgement RunFilter(const fs::path& work_dir, const std::string& command, const RawWriter& write,
                    std::chrono::seconds limit) {
  const fs::path input = work_dir / kFilterInput;
  BinaryWriter out(input);
  write(out);
  out.Close();
  // The command stays out of the command line: the shell reads it from the environment.
  auto child = platform::ChildProcess::Start(
      "/bin/sh", {"sh", "-c", "eval \"$TIDEWIRE_FILTER\" < " + std::string(kFilterInput)}, work_dir,
      {"TIDEWIRE_FILTER=" + command}, true);
  Judgement judgement = Held("FILTER.CMD could not be started");
  if (child) {
    if (!child->WaitFor(limit)) {
      child->Kill();
      judgement = Held("FILTER.CMD gave no answer in " + std::to_string(limit.count()) + " s");
    } else if (child->exit_status() == 0) {
      judgement = {};
    } else if (child->exit_status() == 1) {
      judgement = Held("FILTER.CMD held it");
    } else if (child->exit_status() == 2) {
      judgement = {Verdict::kDropped, "FILTER.CMD dropped it"};
    } else {
      judgement = Held("FILTER.CMD ended with status " + std::to_string(child->exit_status()));
    }
  }
  DeleteFileIfPresent(input);
  return judgement;
}

}  // namespace

std::string_view VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::kPassed:
      return "passed";
    case Verdict::kHeld:
      return "held";
    case Verdict::kDropped:
      return "dropped";
    case Verdict::kReleased:
      return "released";
  }
  return "passed";
}

AirRules AirRules::Read(const fs::path& work_dir) {
  AirRules rules;
  rules.accept = AcceptEntries(work_dir);
  if (const auto filter = work_dir / kFilterFile; FileIsPresent(filter)) {
    TextReader in(filter, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
    rules.filter_command = TrimTrailing(in.ReadLine());
    in.Close();
  }
  if (const auto sizes = Entries(work_dir / kMaxSizeFile); sizes && !sizes->empty()) {
    const std::string& digits = sizes->front();
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 18) {
      throw ConversionError("MAXSIZE holds no number of bytes: " + digits);
    }
    rules.max_size = std::stoull(digits);
  }
  return rules;
}

bool AirRules::Accepts(std::string_view address) const {
  if (!accept) return true;
  const std::string lower = Lower(address);
  if (lower.empty()) return false;
  return std::any_of(accept->begin(), accept->end(), [&](const std::string& entry) {
    return entry.starts_with('@') ? lower.ends_with(entry) : lower == entry;
  });
}

Judgement AirRules::JudgeSizeAndFilter(const fs::path& work_dir, std::uint64_t size,
                                       const RawWriter& write) const {
  if (max_size && size > *max_size) {
    return Held("larger than MAXSIZE (" + std::to_string(size) + " > " + std::to_string(*max_size) +
                " bytes)");
  }
  if (filter_command.empty()) return {};
  return RunFilter(work_dir, filter_command, write, filter_time);
}

std::string SenderAddress(std::string_view from_line) {
  std::string_view value = from_line.substr(std::min(from_line.find(':') + 1, from_line.size()));
  const std::size_t open = value.rfind('<');
  const std::size_t close = open == std::string_view::npos ? open : value.find('>', open);
  if (close != std::string_view::npos) return Lower(value.substr(open + 1, close - open - 1));
  // No angle brackets: the first word that holds an "@", outside any quotes.
  std::size_t pos = 0;
  while (pos < value.size()) {
    const std::size_t start = value.find_first_not_of(" \t,", pos);
    if (start == std::string_view::npos) break;
    if (value[start] == '"') {
      const std::size_t quote = value.find('"', start + 1);
      pos = quote == std::string_view::npos ? value.size() : quote + 1;
      continue;
    }
    const std::size_t end = std::min(value.find_first_of(" \t,", start), value.size());
    std::string_view word = value.substr(start, end - start);
    if (word.find('@') != std::string_view::npos) {
      while (!word.empty() && (word.front() == '(' || word.front() == '\'')) word.remove_prefix(1);
      while (!word.empty() && (word.back() == ')' || word.back() == '\'')) word.remove_suffix(1);
      return Lower(word);
    }
    pos = end;
  }
  return {};
}

void AddCorrespondent(const fs::path& work_dir, std::string_view address, std::string_view call,
                      std::time_t now) {
  const std::string lower = Lower(address);
  if (lower.find('@') == std::string::npos || lower.find_first_of(" \t#") != std::string::npos) {
    return;
  }
  AirRules rules;
  rules.accept = AcceptEntries(work_dir);
  if (!rules.accept || rules.Accepts(lower)) return;
  TextWriter out(work_dir / kAcceptFile, TextWriter::Mode::kAppend);
  out.WriteLine(lower + "  # " + LocalDateTime(now).substr(0, 10) + " " + std::string(call));
  out.Close();
}

}  // namespace tidewire::inbound
