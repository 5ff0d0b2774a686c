#include "inbound/downloads.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"
#include "formats/soup_download.h"
#include "inbound/held_queue.h"
#include "inbound/import_file.h"
#include "inbound/mail_conversion.h"
#include "inbound/news_conversion.h"

namespace tidewire::inbound {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr char kEndOfFile = 26;
// Digits of an article's count in a working copy, written before the article's length is known.
constexpr std::size_t kCountWidth = 15;

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

// Line ends of a download made CR LF: an LF or a CR LF ends a line. A CR on its own ended no
// line in the mail or news the server had, so it becomes a blank: as a line end it could start a
// forged "From POPmail" or "#! rnews" line inside a message.
class LineEndConverter {
 public:
  explicit LineEndConverter(bool stop_at_end_mark) : stop_at_end_mark_(stop_at_end_mark) {}

  // Appends the converted bytes to `out`; false once a byte 26 ended the data.
  bool Convert(std::string_view data, std::string& out) {
    for (const char c : data) {
      if (pending_cr_) {
        pending_cr_ = false;
        if (c == '\n') {
          out.append("\r\n");
          continue;
        }
        out.push_back(' ');
      }
      if (c == '\r') {
        pending_cr_ = true;
      } else if (c == '\n') {
        out.append("\r\n");
      } else if (c == kEndOfFile) {
        if (stop_at_end_mark_) return false;
        out.push_back(' ');
      } else {
        out.push_back(c);
      }
    }
    return true;
  }

  void Finish(std::string& out) {
    if (std::exchange(pending_cr_, false)) out.push_back(' ');
  }

 private:
  bool stop_at_end_mark_;
  bool pending_cr_ = false;
};

// The working copy of the mail file: CR LF line ends; a byte 26 ends the file.
void MakeWorkingCopy(const fs::path& from, const fs::path& to) {
  BinaryReader in(from);
  BinaryWriter out(to);
  LineEndConverter converter(true);
  std::string block(kBlockSize, '\0');
  std::string converted;
  converted.reserve(2 * kBlockSize);
  for (bool going = true; going;) {
    const std::size_t n = in.Read(block.data(), block.size());
    converted.clear();
    if (n == 0) {
      converter.Finish(converted);
      going = false;
    } else {
      going = converter.Convert(std::string_view(block.data(), n), converted);
      if (!going) converter.Finish(converted);
    }
    out.Write(converted);
  }
  in.Close();
  out.Close();
}

constexpr std::size_t kLongestCountLine = 40;

// Whether the batch is made of "#! rnews <count>" lines, each followed by exactly that many
// bytes of whole lines, up to the end of the file. Only then do the counts say where an article
// ends; otherwise the articles are found by their "#! rnews" lines, as any batch can be read.
bool CountsAreConsistent(const fs::path& path) {
  BinaryReader in(path);
  std::string block(kBlockSize, '\0');
  std::string count_line;
  std::int64_t left = 0;  // bytes of the article in hand still to come
  bool articles = false;
  bool line_start = true;
  bool consistent = true;
  while (consistent) {
    const std::size_t n = in.Read(block.data(), block.size());
    if (n == 0) break;
    std::string_view data(block.data(), n);
    while (consistent && !data.empty()) {
      if (left > 0) {
        const std::size_t skip = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(data.size())));
        left -= static_cast<std::int64_t>(skip);
        line_start = data[skip - 1] == '\n';
        data.remove_prefix(skip);
        continue;
      }
      if (!line_start) {  // an article that stops inside a line
        consistent = false;
        break;
      }
      const std::size_t lf = data.find('\n');
      count_line.append(data.substr(0, lf));
      if (count_line.size() > kLongestCountLine) consistent = false;
      if (lf == std::string_view::npos) break;
      data.remove_prefix(lf + 1);
      const std::optional<std::int64_t> count = formats::RnewsCount(count_line);
      consistent = consistent && count.has_value();
      left = count.value_or(0);
      articles = true;
      count_line.clear();
    }
  }
  in.Close();
  return consistent && articles && left == 0 && count_line.empty() && line_start;
}

// The working copy of a news file: CR LF line ends, byte 26 a blank (it would cut off every
// later article). Its first line is the maker's own: kCountedBatch when the batch's counts are
// consistent, and then each count is written again, in the working copy's bytes, so that the
// conversion ends each article where its count says and a body line "#! rnews" is text;
// otherwise an empty line, and the articles are found by their "#! rnews" lines alone.
void MakeNewsWorkingCopy(const fs::path& from, const fs::path& to) {
  const bool counted = CountsAreConsistent(from);
  BinaryReader in(from);
  BinaryWriter out(to);
  LineEndConverter converter(false);
  std::string block(kBlockSize, '\0');
  std::string converted;
  std::string count_line;
  bool in_count_line = true;   // reading a "#! rnews" line of the batch
  std::int64_t left = 0;       // counted: bytes of the article in hand still to come
  std::int64_t written = 0;    // bytes of the working copy so far
  std::int64_t count_at = -1;  // where the count of the article in hand goes
  auto put = [&](std::string_view bytes) {
    out.Write(bytes);
    written += static_cast<std::int64_t>(bytes.size());
  };
  put(counted ? std::string(kCountedBatch) + "\r\n" : std::string("\r\n"));
  auto close_article = [&] {
    if (count_at < 0) return;
    const std::int64_t length = written - count_at - static_cast<std::int64_t>(kCountWidth) - 2;
    std::string digits = std::to_string(length);
    out.WriteAt(count_at, std::string(kCountWidth - digits.size(), '0') + digits);
    count_at = -1;
  };
  for (;;) {
    const std::size_t n = in.Read(block.data(), block.size());
    if (n == 0) break;
    std::string_view data(block.data(), n);
    while (!data.empty()) {
      std::size_t take = data.size();
      if (counted && in_count_line) {
        const std::size_t lf = data.find('\n');
        count_line.append(data.substr(0, lf));
        if (lf == std::string_view::npos) break;
        data.remove_prefix(lf + 1);
        converted.clear();
        converter.Finish(converted);
        put(converted);
        close_article();
        put(formats::kRnewsStart);
        count_at = written;
        put(std::string(kCountWidth, '0') + "\r\n");
        left = formats::RnewsCount(count_line).value_or(0);
        count_line.clear();
        in_count_line = left == 0;
        continue;
      }
      if (counted)
        take =
            static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(take)));
      const std::string_view piece = data.substr(0, take);
      converted.clear();
      converter.Convert(piece, converted);
      put(converted);
      data.remove_prefix(take);
      if (counted) {
        left -= static_cast<std::int64_t>(take);
        in_count_line = left == 0;
      }
    }
  }
  converted.clear();
  converter.Finish(converted);
  put(converted);
  close_article();
  in.Close();
  out.Close();
}

bool IsReplyPacketFile(const std::string& name) { return name == "MAIL.MSG" || name == "NEWS.MSG"; }

// The mail file in any letter case: the client may have written "0000000.msg", and taken for news
// file 0 it would be deleted unconverted.
std::string WorkingCopyName(const std::string& name) {
  return LeftCopy(name, 7) + (EqualsIgnoringCase(name, "0000000.MSG") ? ".NOW" : ".NEW");
}

void MakeWorkingCopies(Station& station) {
  for (const std::string& name : ListFiles(station.work_dir, "*.MSG")) {
    if (IsReplyPacketFile(name)) continue;
    station.Status(" Reading file: " + name);
    station.op.SetProgressLabel(name);
    station.op.giveTurn();
    const std::string copy = WorkingCopyName(name);
    station.Status(" Creating file: " + copy);
    if (copy.ends_with(".NOW")) {
      MakeWorkingCopy(station.File(name), station.File(copy));
    } else {
      MakeNewsWorkingCopy(station.File(name), station.File(copy));
    }
  }
}

std::int32_t NewsFileNumber(Station& station, const std::string& name) {
  const std::string digits = LeftCopy(name, 7);
  if (const auto number = ParseDecimal(digits)) return *number;
  WarningBox(station.op, "Error in file : " + name + " (Filenumber conversion)");
  return LeadingDigitsValue(digits);
}

void ConvertNewsFiles(Station& station, MessageJournal& journal) {
  ImportWriter out = OpenImportFile(station.work_dir, station.op, Announce::kSilent);
  NewsPass pass(station, &journal);
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

// The e-mails and articles the operator released from HELD/ since the last pass, first.
std::vector<HeldMessage> ConvertReleasedMessages(Station& station) {
  std::vector<HeldMessage> released;
  for (HeldMessage& held : ListHeld(station.work_dir)) {
    if (held.released) released.push_back(std::move(held));
  }
  if (released.empty()) return released;
  ImportWriter out = OpenImportFile(station.work_dir, station.op, Announce::kAnnounce);
  NewsPass news(station);
  for (const HeldMessage& held : released) {
    station.Status(" Released from HELD " + std::to_string(held.number) + ": " +
                   (held.news_to.empty() ? "e-mail" : "article") + " from " + held.sender);
    if (held.news_to.empty()) {
      ConvertReleasedMail(out, station, held);
    } else {
      news.ConvertReleased(out, held);
    }
  }
  out.Close();
  return released;
}

void DeleteMatching(const fs::path& work_dir, Operator& op, std::string_view pattern, bool report) {
  for (const std::string& name : ListFiles(work_dir, pattern)) {
    if (pattern == "*.MSG" && IsReplyPacketFile(name)) continue;
    if (report) op.StatusLine(" Deleting file: " + name);
    DeleteFile(work_dir / name);
  }
}

}  // namespace

void PrepareMailFile(const fs::path& work_dir, Operator& op) {
  op.StatusLine(" Open file: 0000000.MSG");
  op.StatusLine(" Creating file: 0000000.TMP");
  // A file without any byte 26 would come back byte for byte; it is left as it is, which saves
  // writing the whole mailbox twice. The status lines still tell the steps of the clean-up.
  const bool dirty = HoldsEndMarks(work_dir / "0000000.MSG");
  if (dirty) CopyWithoutEndMarks(work_dir / "0000000.MSG", work_dir / "0000000.TMP");
  op.StatusLine(" Deleting file: 0000000.MSG");
  if (dirty) DeleteFile(work_dir / "0000000.MSG");
  op.StatusLine(" 0000000.TMP -> 0000000.MSG");
  // A rename leaves the same bytes as a copy followed by deleting the copy's source.
  if (dirty) RenameFile(work_dir / "0000000.TMP", work_dir / "0000000.MSG");
  op.StatusLine(" Deleting file: 0000000.TMP");
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
void DeleteConvertedFiles(const fs::path& work_dir, Operator& op) {
  DeleteMatching(work_dir, op, "*.MSG", false);
  DeleteMatching(work_dir, op, "*.M0?", true);
  DeleteMatching(work_dir, op, "*.NEW", true);
  DeleteFileIfPresent(work_dir / kSentBroadcastFile);
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

void FinishInterruptedConversion(const fs::path& work_dir, Operator& op) {
  const fs::path mark_path = work_dir / kConversionMark;
  if (!EntryExists(mark_path)) return;
  TextReader in(mark_path);
  const std::string state = in.ReadLine();
  in.Close();
  const std::optional<std::int64_t> size =
      state.starts_with(kConverting)
          ? SizeNumber(std::string_view(state).substr(kConverting.size()))
          : std::nullopt;
  if (state == kConverted) {
    DeleteConvertedFiles(work_dir, op);
  } else if (size) {
    // The messages of the interrupted conversion are cut off; their downloads are all still
    // there and are converted again.
    op.StatusLine(" Taking back MAIL.IN of an interrupted conversion");
    const fs::path mail_in = work_dir / "MAIL.IN";
    if (UsableFileExists(mail_in) && FileSizeOf(mail_in) > *size) TruncateFile(mail_in, *size);
    if (EntryExists(work_dir / kSentBroadcastFile) && !EntryExists(work_dir / "bmes.txt")) {
      RenameFile(work_dir / kSentBroadcastFile, work_dir / "bmes.txt");
    }
  }
  DeleteFile(mark_path);
}

void ConvertDownloads(Station& station) {
  FinishInterruptedConversion(station.work_dir, station.op);
  const fs::path mail_in = station.File("MAIL.IN");
  Mark(station, std::string(kConverting) +
                    std::to_string(UsableFileExists(mail_in) ? FileSizeOf(mail_in) : 0));
  // Fetched mail that cannot be read stops the pass; passed over, it would be deleted below.
  if (UsableFileExists(station.File("0000000.MSG"))) PrepareMailFile(station.work_dir, station.op);
  MakeWorkingCopies(station);
  MessageJournal journal(station.work_dir, station.clock);
  const std::vector<HeldMessage> released = ConvertReleasedMessages(station);
  if (UsableFileExists(station.File("0000000.NOW"))) ConvertMail(station, &journal);
  ConvertNewsFiles(station, journal);
  Mark(station, std::string(kConverted));
  // Only now: a conversion cut short before this point is converted again, in full.
  journal.Save();
  for (const HeldMessage& held : released) ForgetReleased(station.work_dir, held.number);
  DeleteConvertedFiles(station.work_dir, station.op);
  DeleteFile(station.File(kConversionMark));
}

}  // namespace tidewire::inbound
