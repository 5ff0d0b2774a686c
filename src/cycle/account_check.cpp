#include "cycle/account_check.h"

#include <chrono>
#include <cstdlib>

#include "platform/child_process.h"

namespace tidewire::cycle {
namespace {

constexpr const char* kOwnClient = "tidewire-soup";
constexpr const char* kPrefix = "tidewire-soup: ";
// A dead server costs the operator this long, not the client's minute.
constexpr const char* kCheckTimeout = "TIDEWIRE_SOUP_TIMEOUT=15";
constexpr std::chrono::seconds kMostPerServer(120);

std::string WithScheme(const std::string& server, const char* scheme) {
  if (server.empty() || server.find("://") != std::string::npos || server.rfind("spool:", 0) == 0) {
    return server;
  }
  return std::string(scheme) + "://" + server;
}

std::filesystem::path OwnClient() {
  const std::filesystem::path own = platform::OwnFolder();
  if (!own.empty()) {
    const std::filesystem::path beside = platform::FindProgram((own / kOwnClient).string());
    if (!beside.empty()) return beside;
  }
  return platform::FindProgram(kOwnClient);
}

}  // namespace

std::vector<ServerToCheck> ServersToCheck(const std::string& smtp, const std::string& mailbox,
                                          const std::string& news) {
  std::vector<ServerToCheck> servers;
  if (!smtp.empty()) servers.push_back({"SMTP-Mailserver", WithScheme(smtp, "smtp")});
  if (!mailbox.empty()) servers.push_back({"POP-Mailserver", mailbox});
  if (!news.empty()) servers.push_back({"NewsServer", WithScheme(news, "nntp")});
  return servers;
}

std::string CheckAccounts(Operator& op, const std::filesystem::path& work_dir,
                          const std::vector<ServerToCheck>& servers, const std::string& user,
                          const std::string& password) {
  const std::filesystem::path program = OwnClient();
  if (program.empty()) {
    return "The check needs tidewire-soup beside the gateway or on PATH; it was not found.";
  }
  if (servers.empty()) return "No server is set: nothing to check.";
  std::vector<std::string> environment = {"TIDEWIRE_SOUP_PASSWORD=" + password};
  if (std::getenv("TIDEWIRE_SOUP_TIMEOUT") == nullptr) environment.push_back(kCheckTimeout);
  std::string report;
  for (const ServerToCheck& server : servers) {
    if (!report.empty()) report += "\r";
    report += server.label + " " + server.server + "\r";
    if (server.server.rfind("spool:", 0) == 0) {
      report += "  a folder on this machine, no server: nothing to check\r";
      continue;
    }
    std::vector<std::string> args = {kOwnClient, "--check", server.server};
    if (!user.empty()) args.push_back(user);
    std::optional<platform::ChildProcess> child =
        platform::ChildProcess::Start(program, args, work_dir, environment, /*capture=*/true);
    if (!child) {
      report += "  tidewire-soup could not be started\r";
      continue;
    }
    const auto end = std::chrono::steady_clock::now() + kMostPerServer;
    bool ended = false;
    std::vector<std::string> lines;
    while (!ended && std::chrono::steady_clock::now() < end) {
      ended = op.WaitForChild(*child, std::chrono::milliseconds(200));
      for (std::string& line : child->TakeLines(ended)) lines.push_back(std::move(line));
    }
    if (!ended) child->Kill();
    for (const std::string& line : lines) {
      report += "  " + (line.rfind(kPrefix, 0) == 0 ? line.substr(15) : line) + "\r";
    }
    report += ended && child->exit_status() == 0 ? "  => passed\r"
              : ended                            ? "  => FAILED\r"
                                                 : "  => FAILED: no end within two minutes\r";
  }
  return report;
}

}  // namespace tidewire::cycle
