// Dates, zones and sorting come out the same on every machine: the test programs pin their
// environment before any test runs (ctest's ENVIRONMENT lists do not survive test discovery).
#include <stdlib.h>
#include <time.h>

namespace {

const bool kPinned = [] {
  ::setenv("TZ", "Europe/Berlin", 1);
  ::setenv("LANG", "C", 1);
  ::setenv("LC_ALL", "C", 1);
  ::tzset();
  return true;
}();

}  // namespace
