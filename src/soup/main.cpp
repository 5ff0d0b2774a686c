// tidewire-soup: the SOUP client the gateway runs as souper95.exe.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>

#include "soup/options.h"
#include "soup/runs.h"
#include "soup/soup_error.h"

int main(int argc, char** argv) {
  using namespace tidewire::soup;
  std::string error;
  const std::optional<Options> options = ParseCommandLine(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "tidewire-soup: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (options->help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  KeepSecret(options->login.password);
  // One client at a time in a station: a client left running by a gateway that was killed must
  // not be joined by a second one sending or fetching the same mail. Held until the exit.
  // A check touches nothing, so it may run beside a pass.
  const int lock = options->mode == Mode::kCheck
                       ? -1
                       : ::open(kStationLock, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    Complain("another tidewire-soup still works in this station: nothing done");
    return 1;
  }
  std::signal(SIGPIPE, SIG_IGN);
  try {
    switch (options->mode) {
      case Mode::kSend:
        return SendRun(*options);
      case Mode::kCatchUp:
        return CatchUpRun(*options);
      case Mode::kReceive:
        return FetchRun(*options);
      case Mode::kCheck:
        return CheckRun(*options);
    }
  } catch (const SoupError& failure) {
    Complain(failure.what());
  } catch (const std::exception& failure) {
    Complain(std::string("unexpected failure: ") + failure.what());
  }
  return 1;
}
