#include "config/user_database.h"

#include <algorithm>
#include <string>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/operator.h"
#include "base/text.h"
#include "config/fbb_limits.h"
#include "config/flag_files.h"

namespace tidewire::config {

namespace {

// A record's fields are single lines: a line end inside one would shift every later record.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\r' || c == '\x1a') c = ' ';
  }
  return line;
}

}  // namespace

UserFileContent ReadUserFile(const std::filesystem::path& path) {
  TextReader in(path, LongLines::kRefuse, LineEnds::kLfWhenNoCr);
  (void)in.ReadLine();  // version text
  UserFileContent content;
  content.CountLine = in.ReadLine();
  content.Count = ParseDecimal(content.CountLine).value_or(LeadingDigitsValue(content.CountLine));
  const auto limit = static_cast<std::int32_t>(UserDatabase::kMaxUsers);
  for (std::int32_t k = 1; k <= std::min(content.Count, limit); ++k) {
    UserRecord user;
    user.UserCALL = in.ReadLine();
    user.HomeBBS = in.ReadLine();
    user.RealName = in.ReadLine();
    user.RemailerAccount = in.ReadLine();
    content.Records.push_back(std::move(user));
  }
  in.Close();
  return content;
}

void WriteUserFile(const std::filesystem::path& path, std::string_view version,
                   const std::vector<UserRecord>& records) {
  TextWriter out(path, TextWriter::Mode::kReplace);
  out.WriteLine(version);
  out.WriteLine(std::to_string(records.size()));
  for (const UserRecord& user : records) {
    out.WriteLine(OneLine(user.UserCALL));
    out.WriteLine(OneLine(user.HomeBBS));
    out.WriteLine(OneLine(user.RealName));
    out.WriteLine(OneLine(user.RemailerAccount));
  }
  out.Close();
}

void LoadUserDatabase(const fs::path& work_dir, const GatewayConfig& config, UserDatabase& users,
                      Operator& op) {
  const auto path = work_dir / kUserFile;
  if (!FileIsPresent(path)) {
    // Only a file that is not there at all means "no users".
    if (EntryExists(path)) throw IoError(IoCode::kAccessDenied, path.string());
    return;
  }
  op.StatusLine(" Reading file: USER.DAT");
  UserFileContent content = ReadUserFile(path);
  if (!ParseDecimal(content.CountLine)) {
    WarningBox(op, "Error in file USER.DAT  (maximum users value invalid)");
  }
  UserDatabase read;
  for (UserRecord& user : content.Records) read.Add(std::move(user));
  users = std::move(read);
  if (content.Count > static_cast<std::int32_t>(UserDatabase::kMaxUsers)) {
    op.StatusLine("WARNING: USER.DAT announces " + std::to_string(content.Count) +
                  " users; users after 100 are not loaded");
  }
  ReportLimitWarnings(op, UserLimitWarnings(users, config));
}

}  // namespace tidewire::config
