#include "platform/launcher.h"

#include <gtest/gtest.h>
#include <signal.h>
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

// With SIGCHLD ignored the system reaps the children itself: the launch still returns.
TEST(Launcher, ReturnsWhenTheSystemReapsItsChildren) {
  const struct sigaction ignore {
    .__sigaction_handler = {SIG_IGN}, .sa_mask = {}, .sa_flags = 0, .sa_restorer = nullptr
  };
  struct sigaction old {};
  ::sigaction(SIGCHLD, &ignore, &old);
  TempDir bin;
  WriteBytes(bin / "xdg-open", "#!/bin/sh\nexit 0\n");
  ::chmod((bin / "xdg-open").c_str(), 0755);
  const char* old_path = std::getenv("PATH");
  const std::string saved = old_path != nullptr ? old_path : "";
  ::setenv("PATH", bin.path().c_str(), 1);
  (void)OpenWithDesktop("page.html");
  ::setenv("PATH", saved.c_str(), 1);
  ::sigaction(SIGCHLD, &old, nullptr);
}

}  // namespace
}  // namespace tidewire::platform
