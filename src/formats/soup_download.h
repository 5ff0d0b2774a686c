#pragma once

// The message files a fetch leaves, each reader beside its writer: the mail file 0000000.MSG
// (each e-mail after a "From POPmail" line) and the news batches (each article after a
// "#! rnews <count>" line). The client writes them, the gateway reads them.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tidewire::formats {

// The line before each e-mail: "From POPmail ", the local time in ctime form, and LF.
[[nodiscard]] std::string MailboxSeparator(std::time_t when);
// A line that starts a new e-mail: "From POPmail" in any letter case at its start.
[[nodiscard]] bool IsMailboxSeparator(std::string_view line);
// A body line the writer must quote with ">": "From " starts a message in a mailbox, and the
// reader takes any letter case of "From POPmail" as a separator.
[[nodiscard]] bool NeedsQuoting(std::string_view line);

// What every news batch line before an article starts with.
inline constexpr std::string_view kRnewsStart = "#! rnews ";
// The line before an article of COUNT bytes: "#! rnews <count>" and LF.
[[nodiscard]] std::string RnewsLine(std::uint64_t count);
// The count of a "#! rnews <count>" line (without its line end) with nothing else on it; nothing
// for any other line or a count of more than 15 digits.
[[nodiscard]] std::optional<std::int64_t> RnewsCount(std::string_view line);

}  // namespace tidewire::formats
