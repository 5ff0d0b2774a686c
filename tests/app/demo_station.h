#pragma once

// A demo station in a temporary folder for the window tests: made by scripts/demo-station, with
// tidewire-soup on PATH as souper95, and an INI file of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace tidewire::testing {

class DemoStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path script =
        std::filesystem::path(TIDEWIRE_DEMO_DIR).parent_path() / "scripts/demo-station";
    ASSERT_EQ(std::system((script.string() + " " + station_.string() + " >/dev/null").c_str()), 0);
    std::filesystem::create_directories(bin_);
    std::filesystem::create_symlink(TIDEWIRE_SOUP_BINARY, bin_ / "souper95");
    const char* path = std::getenv("PATH");
    old_path_ = path != nullptr ? path : "/usr/bin:/bin";
    setenv("PATH", (bin_.string() + ":" + old_path_).c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
  }
  void TearDown() override { setenv("PATH", old_path_.c_str(), 1); }

  [[nodiscard]] std::filesystem::path Mailin(const std::string& name) const {
    return station_ / "fbb" / "mail" / name;
  }

  TempDir dir_;
  const std::filesystem::path station_ = dir_ / "demo";
  const std::filesystem::path bin_ = dir_ / "bin";
  const std::filesystem::path ini_ = dir_ / "config" / "tidewire" / "tidewire.ini";

 private:
  std::string old_path_;
};

}  // namespace tidewire::testing
