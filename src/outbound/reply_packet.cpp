#include "outbound/reply_packet.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"
#include "formats/soup_packet.h"

namespace tidewire::outbound {

namespace {

constexpr std::string_view kMailPacket = "MAIL.MSG";
constexpr std::string_view kNewsPacket = "NEWS.MSG";
constexpr std::string_view kRepliesFile = "REPLIES";
constexpr std::size_t kCopyBuffer = 64 * 1024;

// The size line of INDEX: a byte count that fits the 4-byte length.
std::uint32_t IndexedSize(const std::string& line, const fs::path& index) {
  std::uint64_t value = 0;
  if (line.empty()) throw IoError(IoCode::kInvalidNumericInput, index.string());
  for (const char c : line) {
    if (c < '0' || c > '9') throw IoError(IoCode::kInvalidNumericInput, index.string());
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) {
      throw IoError(IoCode::kInvalidNumericInput, index.string());
    }
  }
  return static_cast<std::uint32_t>(value);
}

// The extension from the last ".", compared exactly.
bool IsMailReplyFile(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos && name.substr(dot) == ".M01";
}

// Copies exactly `size` bytes of the reply file behind its length, so that the packet's
// framing always matches what it announces.
void AppendMessage(const fs::path& file, std::uint32_t size, TextWriter& packet,
                   std::vector<char>& buffer) {
  BinaryReader in(file);
  packet.Write(formats::LengthPrefix(size));
  std::uint64_t left = size;
  while (left > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
    const std::size_t got = in.Read(buffer.data(), want);
    if (got == 0) throw IoError(IoCode::kReadBeyondEnd, file.string());
    packet.Write(std::string_view(buffer.data(), got));
    left -= got;
  }
  in.Close();
}

// A packet file as it is built: the messages of a packet left by an earlier pass that never
// went (its REPLIES was not written) come first, then this pass's. It is written under its
// replacement name and put in place only when the whole packet is written.
class PacketFile {
 public:
  explicit PacketFile(const fs::path& path) : path_(path), temp_(ReplacementName(path)) {
    // A read-only or held packet file is not replaced behind its owner's back.
    const bool kept = UsableFileExists(path_);
    out_.emplace(temp_, TextWriter::Mode::kCreate);
    if (!kept) return;
    BinaryReader in(path_);
    std::vector<char> buffer(kCopyBuffer);
    for (std::size_t got; (got = in.Read(buffer.data(), buffer.size())) > 0;) {
      out_->Write(std::string_view(buffer.data(), got));
      size_ += static_cast<std::int64_t>(got);
    }
    in.Close();
  }

  TextWriter& writer() { return *out_; }
  void Added(std::uint32_t size) { size_ += 4 + static_cast<std::int64_t>(size); }

  // On the disk under the replacement name; an empty packet file is not made at all.
  void Finish() {
    if (size_ > 0) {
      out_->Sync();
      out_->Close();
      return;
    }
    out_.reset();
    DeleteFile(temp_);
    DeleteFileIfPresent(path_);
  }

  void PutInPlace() {
    if (size_ > 0) RenameFile(temp_, path_);
  }

 private:
  fs::path path_;
  fs::path temp_;
  std::optional<TextWriter> out_;
  std::int64_t size_ = 0;
};

}  // namespace

void PackReplyFiles(const fs::path& work_dir, Operator& op) {
  PackReplyFiles(work_dir, op, work_dir / kIndexFile);
}

void PackReplyFiles(const fs::path& work_dir, Operator& op, const fs::path& index_path) {
  if (!UsableFileExists(index_path)) return;
  if (FileSizeOf(index_path) == 0) {
    op.StatusLine(" Deleting INDEX-File, Filesize = 0");
    DeleteFile(index_path);
    op.giveTurn();
    return;
  }
  PacketFile mail(work_dir / kMailPacket);
  PacketFile news(work_dir / kNewsPacket);
  TextReader index(index_path);
  std::vector<char> buffer(kCopyBuffer);
  while (!index.AtEnd()) {
    const std::string name = index.ReadLine();
    const std::uint32_t size = IndexedSize(index.ReadLine(), index_path);
    PacketFile& packet = IsMailReplyFile(name) ? mail : news;
    AppendMessage(work_dir / name, size, packet.writer(), buffer);
    packet.Added(size);
  }
  index.Close();
  mail.Finish();
  news.Finish();
  // Both packet files are whole: from here on they are only put in place, by this pass or,
  // after a crash, by the next (PutPackedFilesInPlace).
  RenameFile(index_path, work_dir / kPackedIndexFile);
  mail.PutInPlace();
  news.PutInPlace();
  DeleteFile(work_dir / kPackedIndexFile);
}

void PutPackedFilesInPlace(const fs::path& work_dir) {
  if (!EntryExists(work_dir / kPackedIndexFile)) return;
  for (const std::string_view name : {kMailPacket, kNewsPacket}) {
    const fs::path temp = ReplacementName(work_dir / name);
    if (EntryExists(temp)) RenameFile(temp, work_dir / name);
  }
  DeleteFile(work_dir / kPackedIndexFile);
}

void WriteRepliesFile(const fs::path& work_dir) {
  const bool mail = FileIsPresent(work_dir / kMailPacket);
  const bool news = FileIsPresent(work_dir / kNewsPacket);
  if (!mail && !news) return;
  TextWriter replies(work_dir / kRepliesFile, TextWriter::Mode::kReplace);
  std::vector<formats::ReplyArea> areas;
  if (mail) areas.push_back({"MAIL", "mail", "b"});
  if (news) areas.push_back({"NEWS", "news", "B"});
  replies.Write(formats::FormatReplies(areas));
  replies.Close();
}

}  // namespace tidewire::outbound
