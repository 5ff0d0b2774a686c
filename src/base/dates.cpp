#include "base/dates.h"

#include <cstdio>
#include <cstdlib>

namespace tidewire {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string MailDateText(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  const long offset_minutes = local.tm_gmtoff / 60;
  const long magnitude = std::labs(offset_minutes);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                local.tm_hour, local.tm_min, local.tm_sec, offset_minutes < 0 ? '-' : '+',
                magnitude / 60, magnitude % 60);
  return text;
}

std::string RoutingDateStamp(std::time_t when) {
  std::tm utc{};
  gmtime_r(&when, &utc);
  char text[32];
  std::snprintf(text, sizeof text, "%02d%02d%02d/%02d%02dZ", utc.tm_year % 100, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min);
  return text;
}

std::string LocalDateTime(std::time_t when) {
  char text[32] = "1970-01-01 00:00:00";
  std::tm local{};
  if (localtime_r(&when, &local) != nullptr) {
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  }
  return text;
}

}  // namespace tidewire
