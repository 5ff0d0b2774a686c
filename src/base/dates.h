#pragma once

#include <ctime>
#include <string>

namespace tidewire {

// "Mon, 7 Dec 2026 00:15:37 +0100": local time with the machine's real offset from UTC.
[[nodiscard]] std::string MailDateText(std::time_t when);

// "261207/0015Z" for a routing line: the stamp is marked Z, so it is UTC.
[[nodiscard]] std::string RoutingDateStamp(std::time_t when);

// "2026-12-07 00:15:37" in local time, for the station's own records.
[[nodiscard]] std::string LocalDateTime(std::time_t when);

}  // namespace tidewire
