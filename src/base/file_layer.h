#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tidewire {

namespace fs = std::filesystem;

// The path as it exists on disk: each component that does not exist in the exact spelling is
// replaced by an entry of its directory that differs only in letter case (the first in name
// order). Components with no such entry keep the given spelling.
[[nodiscard]] fs::path ResolvePath(const fs::path& path);

// True when the name is not empty and names a regular file that can be opened for reading
// and writing: a missing file, a folder, a link, a read-only file (no owner write bit, also for
// root) and a file another process holds with an exclusive lock all count as absent. No file is
// ever opened, read or written through a link standing under its name ("File access denied").
[[nodiscard]] bool FileIsPresent(const fs::path& path);

// True when anything, of any kind, stands under the name.
[[nodiscard]] bool EntryExists(const fs::path& path);

// Raises "File access denied" when an entry stands under the name that FileIsPresent does not
// count (read-only, held by another program, a folder): creating it anew would lose what it holds.
void RefuseToReplaceUnusable(const fs::path& path);

// For files that hold messages or history: false when nothing stands under the name; true for a
// usable file; "File access denied" for anything else, which must neither be taken for a
// missing file nor replaced (an unreadable counter taken as missing would restart bulletin IDs).
[[nodiscard]] bool UsableFileExists(const fs::path& path);

// For a file another user owns, which the gateway only reads (FBB's export file, root's 0644):
// false when nothing stands under the name; true for a regular file this user can read; "File
// access denied" for anything else (a link, a folder, a file it cannot read).
[[nodiscard]] bool ReadableFileExists(const fs::path& path);

// True when the path names a folder.
[[nodiscard]] bool FolderIsPresent(const fs::path& path);

// The size in bytes of an existing file.
[[nodiscard]] std::int64_t FileSizeOf(const fs::path& path);

// Deletes a file; a missing one is "File not found".
void DeleteFile(const fs::path& path);

// Deletes a file when there is one; other failures still raise.
void DeleteFileIfPresent(const fs::path& path);

// Creates an empty file, replacing an existing one of any letter case.
void CreateEmptyFile(const fs::path& path);

// Copies a file's bytes, replacing the target (of any letter case) when it exists.
void CopyFile(const fs::path& from, const fs::path& to);

// Copies a file's bytes into a file made anew under `to`: whatever stood there (a link too) is
// removed, and the copy is written unnamed and linked in whole, never through another entry.
// The copy has the permissions of `from`, and its bytes are on the disk.
void CopyToNewFile(const fs::path& from, const fs::path& to);

// Makes a file readable and writable by its owner alone (0600).
void RestrictToOwner(const fs::path& path);

// Cuts a file back to its first `size` bytes.
void TruncateFile(const fs::path& path, std::int64_t size);

// Renames a file, replacing the target (of any letter case) when it exists.
void RenameFile(const fs::path& from, const fs::path& to);

// Creates one folder.
void MakeFolder(const fs::path& path);

// DOS wildcard match ("*" any run, "?" one character), letters compared without case.
[[nodiscard]] bool MatchesWildcard(std::string_view name, std::string_view pattern);

// Names of the regular files in `folder` matching `pattern`, in directory order (name order
// ignoring case).
[[nodiscard]] std::vector<std::string> ListFiles(const fs::path& folder, std::string_view pattern);

// The longest line a reader hands out whole. A longer one is refused, or given in pieces.
inline constexpr std::size_t kLongestLine = std::size_t{1} << 20;

// What a reader does with a line longer than kLongestLine: settings refuse it ("Line too long"),
// the conversions take it in pieces (mail and news carry what their senders wrote).
enum class LongLines { kRefuse, kSplit };

// Where lines end. kLfWhenNoCr is for the settings files a person edits: a file whose first line
// end is an LF on its own was typed on Linux and is read by its LF line ends.
enum class LineEnds { kCr, kLfWhenNoCr };

// Reads a text file line by line: a line ends at CR, an LF right after the CR is skipped, a lone
// LF is part of the line, byte 26 ends the file. Holds one buffer, never the whole file.
class TextReader {
 public:
  explicit TextReader(const fs::path& path, LongLines long_lines = LongLines::kRefuse,
                      LineEnds line_ends = LineEnds::kCr);
  ~TextReader();
  TextReader(TextReader&& other) noexcept;
  TextReader& operator=(TextReader&& other) noexcept;
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  // True at the end of the data or in front of a byte 26.
  [[nodiscard]] bool AtEnd();

  // The next line without its end; at the end of the file an empty line.
  [[nodiscard]] std::string ReadLine();

  // Whether the last line read is the continuation of a longer one (LongLines::kSplit). Such a
  // piece is text, never a marker ("/EX", a separator): a sender cannot forge one by length.
  [[nodiscard]] bool Continues() const { return continues_; }

  // How many bytes of the file have been read so far (line ends included).
  [[nodiscard]] std::int64_t Offset() const {
    return buffer_start_ + static_cast<std::int64_t>(pos_);
  }

  // Skips blanks, tabs and line ends, then reads a number up to the next blank or line end.
  // "Invalid numeric input" when no number stands there.
  [[nodiscard]] std::int32_t ReadInteger();

  void Close();

  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  int Peek();             // next byte, or -1 at the end of the data (byte 26 included)
  void DecideLineEnds();  // on the first data, for LineEnds::kLfWhenNoCr
  void Advance() { ++pos_; }
  bool Fill();

  fs::path path_;
  int fd_ = -1;
  std::unique_ptr<char[]> buffer_;  // not zero-filled: a reader is opened for every e-mail
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::int64_t buffer_start_ = 0;  // file offset of buffer_[0]
  bool at_eof_ = false;
  LongLines long_lines_ = LongLines::kRefuse;
  bool in_long_line_ = false;  // the last piece given stopped inside a line
  bool continues_ = false;
  LineEnds line_ends_ = LineEnds::kCr;  // kLfWhenNoCr until the first data decided it
  bool lf_ends_ = false;                // a lone LF ends a line in this file
};

// Reads a file's bytes in blocks.
class BinaryReader {
 public:
  explicit BinaryReader(const fs::path& path);
  ~BinaryReader();
  BinaryReader(const BinaryReader&) = delete;
  BinaryReader& operator=(const BinaryReader&) = delete;

  // Up to `size` bytes into `data`; 0 at the end of the file.
  [[nodiscard]] std::size_t Read(char* data, std::size_t size);
  void Close();

 private:
  fs::path path_;
  int fd_ = -1;
};

// Writes a file's bytes unchanged, replacing an existing file of any letter case.
class BinaryWriter {
 public:
  explicit BinaryWriter(const fs::path& path);
  ~BinaryWriter();
  BinaryWriter(const BinaryWriter&) = delete;
  BinaryWriter& operator=(const BinaryWriter&) = delete;

  void Write(std::string_view bytes);
  // Writes over bytes written before, at `offset`; the end of the file does not move.
  void WriteAt(std::int64_t offset, std::string_view bytes);
  void Close();

 private:
  fs::path path_;
  int fd_ = -1;
};

// The name a replacement of `path` is written under before it is renamed into place: the name
// with ".tmp" (TWIREBID.BIN -> TWIREBID.BIN.tmp), in the same folder.
[[nodiscard]] fs::path ReplacementName(const fs::path& path);

// Makes a rename or delete in `folder` durable.
void SyncFolder(const fs::path& folder);

// Writes a text file with CR LF line ends through one buffer.
// kReplace writes to ReplacementName(path) and on Close puts the bytes on the disk and renames
// them over the file, so a crash or failure at any point leaves either the old file or the new
// one, never a part; a writer dropped without Close leaves the old file as it was.
class TextWriter {
 public:
  enum class Mode { kCreate, kAppend, kReplace };

  TextWriter(const fs::path& path, Mode mode);
  ~TextWriter();  // closes without raising; call Close to see errors
  TextWriter(TextWriter&& other) noexcept;
  TextWriter& operator=(TextWriter&& other) noexcept;
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  void Write(std::string_view text);
  void WriteLine(std::string_view text);
  void Flush();
  // Flushes and puts the bytes on the disk.
  void Sync();
  void Close();

  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  void Abandon() noexcept;
  void Release() noexcept;

  fs::path path_;
  fs::path temp_;  // kReplace only
  int fd_ = -1;
  std::string buffer_;
};

// Creates a file that must not exist yet and writes `bytes` into it. False, with nothing
// changed, when an entry of that name in any letter case is there already.
[[nodiscard]] bool CreateNewFile(const fs::path& path, std::string_view bytes);

// While it lives, a name that is missing in `folder` in its exact spelling is looked up in one
// listing of the folder, taken when the cache starts and kept in step with what this file layer
// creates, renames and deletes, instead of in a scan of the folder each time. Meant for a folder
// no other program changes meanwhile, such as the working directory while a pass writes
// thousands of reply files (a scan per file made that quadratic).
class FolderNameCache {
 public:
  explicit FolderNameCache(const fs::path& folder);
  ~FolderNameCache();
  FolderNameCache(const FolderNameCache&) = delete;
  FolderNameCache& operator=(const FolderNameCache&) = delete;

  // The entry that equals `name` ignoring letter case, the first in name order; empty if none.
  [[nodiscard]] std::string CaseVariant(std::string_view name) const;
  // Records that an entry was made (`present`) or removed.
  void Note(const std::string& name, bool present);

  [[nodiscard]] const fs::path& folder() const { return folder_; }

 private:
  fs::path folder_;
  std::map<std::string, std::set<std::string>> names_;  // by upper-case name
};

// Which file stands under the name, and in which state: device, inode, size and change time
// as one text; empty when nothing is there. Equal texts mean the same, unchanged file.
[[nodiscard]] std::string FileIdentity(const fs::path& path);

// The time of the last change of a file's content.
[[nodiscard]] std::time_t FileModifiedTime(const fs::path& path);

}  // namespace tidewire
