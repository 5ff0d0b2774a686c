#include "config/user_database.h"

#include <algorithm>
#include <string>

#include "base/file_layer.h"
#include "base/operator.h"
#include "base/text.h"
#include "config/fbb_limits.h"
#include "config/flag_files.h"

namespace tidewire::config {

namespace {

std::int32_t UserCountOf(Station& station, std::string_view line) {
  if (const auto value = ParseDecimal(line)) return *value;
  WarningBox(station.op, "Error in file USER.DAT  (maximum users value invalid)");
  return LeadingDigitsValue(line);
}

}  // namespace

void LoadUserDatabase(Station& station) {
  const auto path = station.File(kUserFile);
  if (!FileIsPresent(path)) return;
  station.Status(" Reading file: USER.DAT");
  TextReader in(path);
  (void)in.ReadLine();  // version text
  const std::int32_t count = UserCountOf(station, in.ReadLine());
  const auto limit = static_cast<std::int32_t>(UserDatabase::kMaxUsers);
  UserDatabase users;
  for (std::int32_t k = 1; k <= std::min(count, limit); ++k) {
    UserRecord user;
    user.UserCALL = in.ReadLine();
    user.HomeBBS = in.ReadLine();
    user.RealName = in.ReadLine();
    user.RemailerAccount = in.ReadLine();
    users.Add(std::move(user));
  }
  in.Close();
  station.users = std::move(users);
  if (count > limit) {
    station.Status("WARNING: USER.DAT announces " + std::to_string(count) +
                   " users; users after 100 are not loaded");
  }
  ReportLimitWarnings(station, UserLimitWarnings(station.users, station.config));
}

}  // namespace tidewire::config
