// Preloaded into xfbbd by the interop tests: FBB sleeps 50 ms after every message it imports,
// which makes a file of thousands of messages take minutes. Sleeps are cut to at most 1 ms;
// what FBB does between them is unchanged.
#include <time.h>
#include <unistd.h>

extern "C" int usleep(useconds_t microseconds) {
  const useconds_t shortened = microseconds > 1000 ? 1000 : microseconds;
  timespec pause{0, static_cast<long>(shortened) * 1000L};
  return nanosleep(&pause, nullptr);
}
