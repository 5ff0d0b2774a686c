#include "inbound/downloads.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"
#include "inbound/import_file.h"
#include "inbound/mail_conversion.h"
#include "inbound/news_conversion.h"

namespace tidewire::inbound {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr char kEndOfFile = 26;

void CopyWithoutEndMarks(const fs::path& from, const fs::path& to) {
  BinaryReader in(from);
  BinaryWriter out(to);
  std::string block(kBlockSize, '\0');
  for (;;) {
    const std::size_t n = in.Read(block.data(), block.size());
    if (n == 0) break;
    for (std::size_t i = 0; i < n; ++i) {
      if (block[i] == kEndOfFile) block[i] = ' ';
    }
    out.Write(std::string_view(block.data(), n));
  }
  in.Close();
  out.Close();
}

bool HoldsEndMarks(const fs::path& path) {
  BinaryReader in(path);
  std::string block(kBlockSize, '\0');
  bool found = false;
  while (!found) {
    const std::size_t n = in.Read(block.data(), block.size());
    if (n == 0) break;
    found = std::string_view(block.data(), n).find(kEndOfFile) != std::string_view::npos;
  }
  in.Close();
  return found;
}

// The working copy: every LF becomes CR LF; a byte 26 ends the file.
void MakeWorkingCopy(const fs::path& from, const fs::path& to) {
  BinaryReader in(from);
  BinaryWriter out(to);
  std::string block(kBlockSize, '\0');
  std::string converted;
  converted.reserve(2 * kBlockSize);
  bool ended = false;
  while (!ended) {
    const std::size_t n = in.Read(block.data(), block.size());
    if (n == 0) break;
    std::string_view data(block.data(), n);
    if (const std::size_t stop = data.find(kEndOfFile); stop != std::string_view::npos) {
      data = data.substr(0, stop);
      ended = true;
    }
    converted.clear();
    for (std::size_t start = 0; start < data.size();) {
      const std::size_t lf = data.find('\n', start);
      if (lf == std::string_view::npos) {
        converted.append(data.substr(start));
        break;
      }
      converted.append(data.substr(start, lf - start));
      converted.append("\r\n");
      start = lf + 1;
    }
    out.Write(converted);
  }
  in.Close();
  out.Close();
}

bool IsReplyPacketFile(const std::string& name) { return name == "MAIL.MSG" || name == "NEWS.MSG"; }

std::string WorkingCopyName(const std::string& name) {
  return LeftCopy(name, 7) + (name == "0000000.MSG" ? ".NOW" : ".NEW");
}

void MakeWorkingCopies(Station& station) {
  for (const std::string& name : ListFiles(station.work_dir, "*.MSG")) {
    if (IsReplyPacketFile(name)) continue;
    station.Status(" Reading file: " + name);
    station.op.SetProgressLabel(name);
    station.op.giveTurn();
    const std::string copy = WorkingCopyName(name);
    station.Status(" Creating file: " + copy);
    MakeWorkingCopy(station.File(name), station.File(copy));
  }
}

std::int32_t NewsFileNumber(Station& station, const std::string& name) {
  const std::string digits = LeftCopy(name, 7);
  if (const auto number = ParseDecimal(digits)) return *number;
  WarningBox(station.op, "Error in file : " + name + " (Filenumber conversion)");
  return LeadingDigitsValue(digits);
}

void ConvertNewsFiles(Station& station) {
  ImportWriter out = OpenImportFile(station, Announce::kSilent);
  NewsPass pass(station);
  for (const std::string& name : ListFiles(station.work_dir, "*.NEW")) {
    station.op.SetProgressLabel(name);
    const std::int32_t number = NewsFileNumber(station, name);
    station.op.giveTurn();
    station.Status(" Reading file: " + name);
    TextReader in(station.File(name), LongLines::kSplit);
    pass.ConvertNewsFile(out, in, number);
    in.Close();
  }
  out.Close();
}

void DeleteMatching(Station& station, std::string_view pattern, bool report) {
  for (const std::string& name : ListFiles(station.work_dir, pattern)) {
    if (pattern == "*.MSG" && IsReplyPacketFile(name)) continue;
    if (report) station.Status(" Deleting file: " + name);
    DeleteFile(station.File(name));
  }
}

}  // namespace

void PrepareMailFile(Station& station) {
  station.Status(" Open file: 0000000.MSG");
  station.Status(" Creating file: 0000000.TMP");
  // A file without any byte 26 would come back byte for byte; it is left as it is, which saves
  // writing the whole mailbox twice. The status lines still tell the steps of the clean-up.
  const bool dirty = HoldsEndMarks(station.File("0000000.MSG"));
  if (dirty) CopyWithoutEndMarks(station.File("0000000.MSG"), station.File("0000000.TMP"));
  station.Status(" Deleting file: 0000000.MSG");
  if (dirty) DeleteFile(station.File("0000000.MSG"));
  station.Status(" 0000000.TMP -> 0000000.MSG");
  // A rename leaves the same bytes as a copy followed by deleting the copy's source.
  if (dirty) RenameFile(station.File("0000000.TMP"), station.File("0000000.MSG"));
  station.Status(" Deleting file: 0000000.TMP");
}

namespace {

// While the downloads are converted, this file holds "converting" and the size MAIL.IN had
// before; once all is in MAIL.IN, "converted". A pass killed in between is finished by the
// next one (FinishInterruptedConversion) without any message reaching FBB twice.
constexpr std::string_view kConversionMark = "CONVERT.MRK";
constexpr std::string_view kConverting = "converting ";
constexpr std::string_view kConverted = "converted";

void Mark(Station& station, const std::string& state) {
  TextWriter mark(station.File(kConversionMark), TextWriter::Mode::kReplace);
  mark.WriteLine(state);
  mark.Close();
}

// The downloads, the reply files and the sent broadcast: what a complete conversion leaves.
void DeleteConvertedFiles(Station& station) {
  DeleteMatching(station, "*.MSG", false);
  DeleteMatching(station, "*.M0?", true);
  DeleteMatching(station, "*.NEW", true);
  DeleteFileIfPresent(station.File(kSentBroadcastFile));
}

std::optional<std::int64_t> SizeNumber(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

void FinishInterruptedConversion(Station& station) {
  const fs::path mark_path = station.File(kConversionMark);
  if (!EntryExists(mark_path)) return;
  TextReader in(mark_path);
  const std::string state = in.ReadLine();
  in.Close();
  const std::optional<std::int64_t> size =
      state.starts_with(kConverting)
          ? SizeNumber(std::string_view(state).substr(kConverting.size()))
          : std::nullopt;
  if (state == kConverted) {
    DeleteConvertedFiles(station);
  } else if (size) {
    // The messages of the interrupted conversion are cut off; their downloads are all still
    // there and are converted again.
    station.Status(" Taking back MAIL.IN of an interrupted conversion");
    const fs::path mail_in = station.File("MAIL.IN");
    if (UsableFileExists(mail_in) && FileSizeOf(mail_in) > *size) TruncateFile(mail_in, *size);
    if (EntryExists(station.File(kSentBroadcastFile)) &&
        !EntryExists(station.File("bmes.txt"))) {
      RenameFile(station.File(kSentBroadcastFile), station.File("bmes.txt"));
    }
  }
  DeleteFile(mark_path);
}

void ConvertDownloads(Station& station) {
  FinishInterruptedConversion(station);
  const fs::path mail_in = station.File("MAIL.IN");
  Mark(station, std::string(kConverting) +
                    std::to_string(UsableFileExists(mail_in) ? FileSizeOf(mail_in) : 0));
  // Fetched mail that cannot be read stops the pass; passed over, it would be deleted below.
  if (UsableFileExists(station.File("0000000.MSG"))) PrepareMailFile(station);
  MakeWorkingCopies(station);
  if (UsableFileExists(station.File("0000000.NOW"))) ConvertMail(station);
  ConvertNewsFiles(station);
  Mark(station, std::string(kConverted));
  DeleteConvertedFiles(station);
  DeleteFile(station.File(kConversionMark));
}

}  // namespace tidewire::inbound
