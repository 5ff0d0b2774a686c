#include "platform/launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "support/temp_dir.h"

namespace tidewire::platform {
namespace {

using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

// The desktop's handler as a script on PATH: what it says and how it ends come back as the
// reason nothing opened; a handler that ends well, or is still busy, has opened it.
TEST(Launcher, SaysWhyNothingOpenedIt) {
  const struct {
    const char* handler;  // the script's body; nullptr: no xdg-open at all
    const char* why;
  } rows[] = {
      {"echo \"xdg-open: no method available for opening '$1'\" >&2; exit 3",
       "xdg-open: no method available for opening 'page.html'"},
      {"exit 4", "it ended with an error"},
      {"exit 0", ""},
      {"/bin/sleep 3", ""},
      {nullptr, "no program to open it (xdg-open is not installed)"},
  };
  const char* old_path = std::getenv("PATH");
  const std::string saved = old_path != nullptr ? old_path : "";
  for (const auto& row : rows) {
    TempDir bin;
    if (row.handler != nullptr) {
      WriteBytes(bin / "xdg-open", std::string("#!/bin/sh\n") + row.handler + "\n");
      ::chmod((bin / "xdg-open").c_str(), 0755);
    }
    ::setenv("PATH", (bin.path().string() + ":/nonexistent").c_str(), 1);
    EXPECT_EQ(OpenWithDesktop("page.html"), row.why) << (row.handler ? row.handler : "none");
    EXPECT_EQ(LaunchEditor("notes.txt").empty(), std::string(row.why).empty());
  }
  ::setenv("PATH", saved.c_str(), 1);
}

}  // namespace
}  // namespace tidewire::platform
