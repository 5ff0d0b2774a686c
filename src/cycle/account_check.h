#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/operator.h"

namespace tidewire::cycle {

// One server of the settings as the account check takes it.
struct ServerToCheck {
  std::string label;   // "SMTP-Mailserver", ...
  std::string server;  // as the client takes it: a bare SMTP or news host gets its scheme
};

// The three servers of the settings: SMTP, the mailbox (POP3 or IMAP), news. A field left
// empty is left out.
[[nodiscard]] std::vector<ServerToCheck> ServersToCheck(const std::string& smtp,
                                                        const std::string& mailbox,
                                                        const std::string& news);

// Runs the own client's "--check" for each server in the station (where TOKEN.CMD is), the
// password in its environment, the window painting meanwhile. The report, one block per server:
// its label and address, the client's lines, and whether the check passed.
[[nodiscard]] std::string CheckAccounts(Operator& op, const std::filesystem::path& work_dir,
                                        const std::vector<ServerToCheck>& servers,
                                        const std::string& user, const std::string& password);

}  // namespace tidewire::cycle
