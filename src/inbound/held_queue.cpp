#include "inbound/held_queue.h"

#include <algorithm>

#include "base/dates.h"
#include "base/file_layer.h"
#include "base/text.h"

namespace tidewire::inbound {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeldFolder = "HELD";
constexpr std::string_view kDroppedFolder = "DROPPED";

fs::path Held(const fs::path& work_dir) { return work_dir / kHeldFolder; }
fs::path FileOf(const fs::path& folder, int n, std::string_view extension) {
  return folder / (std::to_string(n) + std::string(extension));
}

// The number of a file named "<digits>.<ext>", or 0.
int NumberOf(const std::string& name) {
  const std::size_t dot = name.find('.');
  if (dot == 0 || dot == std::string::npos || dot > 9) return 0;
  const std::string digits = name.substr(0, dot);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(digits);
}

std::optional<HeldMessage> ReadInfo(const fs::path& folder, int n) {
  const fs::path info = FileOf(folder, n, ".TXT");
  if (!FileIsPresent(info)) return std::nullopt;
  HeldMessage held;
  held.number = n;
  TextReader in(info, LongLines::kSplit);
  while (!in.AtEnd()) {
    const std::string line = in.ReadLine();
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    const std::string name = line.substr(0, colon);
    const std::string value = line.substr(colon + 2);
    if (name == "from") held.sender = value;
    if (name == "subject") held.subject = value;
    if (name == "size") held.size = std::strtoull(value.c_str(), nullptr, 10);
    if (name == "reason") held.reason = value;
    if (name == "held") held.held = value;
    if (name == "to") held.news_to = value;
  }
  in.Close();
  held.released = FileIsPresent(FileOf(folder, n, ".REL"));
  return held;
}

// Text for one "name: value" line: a line break in a subject cannot start another field.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

int HoldMessage(const fs::path& work_dir, HeldMessage info, const RawWriter& write,
                std::time_t now) {
  const fs::path folder = Held(work_dir);
  if (!FolderIsPresent(folder)) MakeFolder(folder);
  int n = 0;
  for (const fs::path& place : {folder, folder / kDroppedFolder}) {
    if (!FolderIsPresent(place)) continue;
    for (const std::string& name : ListFiles(place, "*")) n = std::max(n, NumberOf(name));
  }
  info.number = n + 1;
  info.held = LocalDateTime(now);
  BinaryWriter message(FileOf(folder, info.number, ".MSG"));
  write(message);
  message.Close();
  // The description last: a message without one is not listed, never half-listed.
  TextWriter text(FileOf(folder, info.number, ".TXT"), TextWriter::Mode::kCreate);
  text.WriteLine("from: " + OneLine(info.sender));
  text.WriteLine("subject: " + OneLine(info.subject));
  text.WriteLine("size: " + std::to_string(info.size));
  text.WriteLine("reason: " + OneLine(info.reason));
  text.WriteLine("held: " + info.held);
  if (!info.news_to.empty()) text.WriteLine("to: " + OneLine(info.news_to));
  text.Close();
  return info.number;
}

std::vector<HeldMessage> ListHeld(const fs::path& work_dir) {
  std::vector<HeldMessage> list;
  const fs::path folder = Held(work_dir);
  if (!FolderIsPresent(folder)) return list;
  std::vector<int> numbers;
  for (const std::string& name : ListFiles(folder, "*.TXT")) {
    if (const int n = NumberOf(name); n > 0) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  for (const int n : numbers) {
    if (auto held = ReadInfo(folder, n)) list.push_back(std::move(*held));
  }
  return list;
}

std::optional<HeldMessage> ReleaseHeld(const fs::path& work_dir, int n) {
  const fs::path folder = Held(work_dir);
  auto held = ReadInfo(folder, n);
  if (!held || held->released || !FileIsPresent(FileOf(folder, n, ".MSG"))) return std::nullopt;
  RenameFile(FileOf(folder, n, ".MSG"), FileOf(folder, n, ".REL"));
  held->released = true;
  return held;
}

std::optional<HeldMessage> DropHeld(const fs::path& work_dir, int n) {
  const fs::path folder = Held(work_dir);
  auto held = ReadInfo(folder, n);
  if (!held) return std::nullopt;
  const fs::path dropped = folder / kDroppedFolder;
  if (!FolderIsPresent(dropped)) MakeFolder(dropped);
  for (const std::string_view extension : {".MSG", ".REL"}) {
    if (FileIsPresent(FileOf(folder, n, extension))) {
      RenameFile(FileOf(folder, n, extension), FileOf(dropped, n, ".MSG"));
    }
  }
  RenameFile(FileOf(folder, n, ".TXT"), FileOf(dropped, n, ".TXT"));
  return held;
}

fs::path ReleasedFile(const fs::path& work_dir, int n) { return FileOf(Held(work_dir), n, ".REL"); }

void ForgetReleased(const fs::path& work_dir, int n) {
  const fs::path folder = Held(work_dir);
  DeleteFileIfPresent(FileOf(folder, n, ".REL"));
  DeleteFileIfPresent(FileOf(folder, n, ".TXT"));
}

}  // namespace tidewire::inbound
