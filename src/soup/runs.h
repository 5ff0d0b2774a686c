#pragma once

#include <memory>
#include <optional>
#include <string>

#include "soup/newsrc.h"
#include "soup/options.h"
#include "soup/server_address.h"
#include "soup/servers.h"
#include "soup/soup_error.h"

namespace tidewire::soup {

// The three runs; each returns the exit status: 0 only when all that was asked was done.
// They work in the current directory, where the gateway keeps its packet files.
[[nodiscard]] int FetchRun(const Options& options);
[[nodiscard]] int SendRun(const Options& options);
[[nodiscard]] int CatchUpRun(const Options& options);
// --check: one server's connection, TLS, mechanisms and login, touching nothing.
[[nodiscard]] int CheckRun(const Options& options);

// The servers of an address: the real protocol clients, or the spool folder.
[[nodiscard]] std::unique_ptr<MailDrop> OpenMailDrop(const ServerAddress& address,
                                                     const Credentials& login);
[[nodiscard]] std::unique_ptr<MailSender> OpenMailSender(const ServerAddress& address,
                                                         const Credentials& login);
[[nodiscard]] std::unique_ptr<NewsServer> OpenNewsServer(const ServerAddress& address);

// The news server named by NNTPSERVER; throws SoupError when it names none.
[[nodiscard]] ServerAddress NewsServerAddress();
// The key of an account in the seen-mail file.
[[nodiscard]] std::string AccountKey(const ServerAddress& address, const Credentials& login);

// Says goodbye to a server whose work is done; a lost goodbye changes nothing.
template <typename Server>
void FinishQuietly(Server& server) {
  try {
    server.Finish();
  } catch (const SoupError&) {
    // Everything was answered already.
  }
}

// HOME/.newsrc (or -N) as read: the path, the bytes and the parsed lines.
struct NewsrcFile {
  std::string path;
  std::string text;
  Newsrc newsrc;
};
// Nothing when there is no such file.
[[nodiscard]] std::optional<NewsrcFile> ReadNewsrcFile(const Options& options);
// Writes the lines back when they changed, keeping the previous file as ".old".
void SaveNewsrcFile(const NewsrcFile& file);

// A password or token: from now on it is shown as "***" wherever Say or Complain would show it.
void KeepSecret(const std::string& secret);

// Progress on standard output, trouble on standard error, each line "tidewire-soup: ...", with
// every secret made "***".
void Say(const std::string& text);
void Complain(const std::string& text);

// The steps of a session (connection, TLS, mechanisms, login), said only in an account check.
void Trace(const std::string& text);
void SetTracing(bool on);

}  // namespace tidewire::soup
