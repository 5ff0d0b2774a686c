#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/file_layer.h"
#include "inbound/air_rules.h"

namespace tidewire::inbound {

// The lines of a message in work: kept in memory while small, in a working file beyond that,
// so that no message of any size is held whole and small ones cost no file operations.
class WorkText {
 public:
  static constexpr std::size_t kMemoryLimit = 1 << 20;

  explicit WorkText(std::filesystem::path file) : path_(std::move(file)) {}

  void Append(const std::string& line) {
    size_ += line.size() + 1;
    if (file_) {
      file_->WriteLine(line);
      return;
    }
    bytes_ += line.size() + 2;
    lines_.push_back(line);
    if (bytes_ > kMemoryLimit) {
      file_.emplace(path_, TextWriter::Mode::kCreate);
      for (const std::string& kept : lines_) file_->WriteLine(kept);
      lines_.clear();
    }
  }

  void Finish() {
    if (file_) file_->Close();
  }

  // The message's size as it came: its lines, each with its line end.
  [[nodiscard]] std::uint64_t size() const { return size_; }

  // Reads the lines back, as often as wanted.
  class Reader {
   public:
    explicit Reader(const WorkText& text) : text_(text) {
      if (text.file_) file_.emplace(text.path_, LongLines::kSplit);
    }
    [[nodiscard]] bool AtEnd() { return file_ ? file_->AtEnd() : next_ >= text_.lines_.size(); }
    [[nodiscard]] std::string ReadLine() {
      if (file_) return file_->ReadLine();
      return next_ < text_.lines_.size() ? text_.lines_[next_++] : std::string();
    }
    void Close() {
      if (file_) file_->Close();
    }

   private:
    const WorkText& text_;
    std::optional<TextReader> file_;
    std::size_t next_ = 0;
  };

 private:
  std::filesystem::path path_;
  std::vector<std::string> lines_;
  std::size_t bytes_ = 0;
  std::uint64_t size_ = 0;
  std::optional<TextWriter> file_;
};

// The message's lines into a file, each ended by CR LF, so that it reads back as it was read.
inline RawWriter RawOf(const WorkText& text) {
  return [&text](BinaryWriter& out) {
    WorkText::Reader work(text);
    while (!work.AtEnd()) out.Write(work.ReadLine() + "\r\n");
    work.Close();
  };
}

}  // namespace tidewire::inbound
