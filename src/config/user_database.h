#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/station.h"

namespace tidewire::config {

// Line 1 of USER.DAT as the user settings dialog saves it, and as a new database has it.
inline constexpr std::string_view kUserFileVersion = "V1.5c";
inline constexpr std::string_view kNewUserFileVersion = "V1.3x";

// What USER.DAT announces and holds.
struct UserFileContent {
  std::string CountLine;            // line 2 as read
  std::int32_t Count = 0;           // its value: the number, or else its leading digits
  std::vector<UserRecord> Records;  // records 1 to Count, at most kMaxUsers; short ones empty
};

// Reads a present USER.DAT; raises IoError when it cannot be read.
[[nodiscard]] UserFileContent ReadUserFile(const std::filesystem::path& path);

// Creates USER.DAT anew: the version, the number of records and their four lines each.
void WriteUserFile(const std::filesystem::path& path, std::string_view version,
                   const std::vector<UserRecord>& records);

// Fills station.users from USER.DAT (a missing file leaves the table alone, silently), then
// reports one warning status line per user that breaks FBB's field limits.
// Raises IoError when a present file cannot be read.
void LoadUserDatabase(const std::filesystem::path& work_dir, const GatewayConfig& config,
                      UserDatabase& users, Operator& op);

}  // namespace tidewire::config
