#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewire::soup {

// The path of NAME in DIR as it exists there, matched without regard to letter case (the
// gateway's DOS heritage: it may keep ".NEWSRC" or "replies"); DIR/NAME when none exists.
[[nodiscard]] std::string FindIgnoringCase(const std::string& dir, const std::string& name);

// kRegularFileOnly for a file in a folder others may write (a spool): a link, a folder or a
// pipe standing under the name is refused, never read.
enum class Follow { kAnyFile, kRegularFileOnly };

// The whole of a small file, or nothing when it does not exist. Throws SoupError when it
// exists but cannot be read.
[[nodiscard]] std::optional<std::string> ReadSmallFile(const std::string& path,
                                                       Follow follow = Follow::kAnyFile);

// Replaces PATH by CONTENT so that a crash leaves the old or the new file, never half of one.
void WriteFileAtomically(const std::string& path, std::string_view content);

class OutputFile;

// The same, with the new content written by WRITE, so that it need not be held in memory.
void ReplaceFileAtomically(const std::string& path, const std::function<void(OutputFile&)>& write);

// A file read at offsets, every call checked; closed by the destructor.
class InputFile {
 public:
  // Nothing when PATH does not exist; throws SoupError when it exists but cannot be opened.
  [[nodiscard]] static std::unique_ptr<InputFile> Open(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  [[nodiscard]] std::uint64_t Size() const { return size_; }
  // Up to SIZE bytes at OFFSET; fewer only at the end of the file.
  [[nodiscard]] std::size_t ReadAt(std::uint64_t offset, char* data, std::size_t size) const;
  [[nodiscard]] std::string ReadRange(std::uint64_t offset, std::size_t length) const;
  // Copies LENGTH bytes from OFFSET to OUT in blocks.
  void CopyRange(std::uint64_t offset, std::uint64_t length, OutputFile& out) const;
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  InputFile(std::string path, int fd, std::uint64_t size)
      : path_(std::move(path)), fd_(fd), size_(size) {}
  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Removes PATH; a file that is not there counts as removed.
void RemoveFile(const std::string& path);

// The names in DIR (no "." and ".."), sorted; empty when DIR does not exist.
[[nodiscard]] std::vector<std::string> ListFolder(const std::string& dir);

// A file written through one descriptor, every call checked; closed by the destructor.
class OutputFile {
 public:
  enum class Mode { kAppend, kTruncate, kCreateNew };
  OutputFile(std::string path, Mode mode);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::string_view bytes);
  // Writes the buffered bytes and waits until they are on the disk.
  void Sync();
  // Syncs and closes; a failure is an error, not left to the destructor.
  void Close();
  // Cuts the file back to SIZE bytes (a message that was not fetched whole).
  void TruncateTo(std::uint64_t size);
  [[nodiscard]] std::uint64_t Size() const { return size_ + pending_.size(); }
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  void Flush();
  [[noreturn]] void Fail(const char* what) const;

  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::string pending_;
};

}  // namespace tidewire::soup
