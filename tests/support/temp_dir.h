#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tidewire::testing {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] std::filesystem::path operator/(std::string_view name) const {
    return path_ / name;
  }

 private:
  std::filesystem::path path_;
};

// Writes bytes exactly as given.
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);
// Reads a whole (small) file; empty when it is missing.
[[nodiscard]] std::string ReadBytes(const std::filesystem::path& path);

}  // namespace tidewire::testing
