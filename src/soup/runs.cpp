#include "soup/runs.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "soup/imap_client.h"
#include "soup/local_files.h"
#include "soup/nntp_client.h"
#include "soup/pop3_client.h"
#include "soup/protocol.h"
#include "soup/sasl.h"
#include "soup/smtp_client.h"
#include "soup/soup_error.h"
#include "soup/spool.h"

namespace tidewire::soup {

std::unique_ptr<MailDrop> OpenMailDrop(const ServerAddress& address, const Credentials& login) {
  if (address.spool) return std::make_unique<SpoolMailDrop>(address.spool_dir);
  if (address.protocol == Protocol::kImap) {
    return std::make_unique<ImapClient>(address, LoginFor(address, login));
  }
  return std::make_unique<Pop3Client>(address, LoginFor(address, login));
}

std::unique_ptr<MailSender> OpenMailSender(const ServerAddress& address, const Credentials& login) {
  if (address.spool) return std::make_unique<SpoolMailSender>(address.spool_dir);
  return std::make_unique<SmtpClient>(address, LoginFor(address, login));
}

std::unique_ptr<NewsServer> OpenNewsServer(const ServerAddress& address) {
  if (address.spool) return std::make_unique<SpoolNewsServer>(address.spool_dir);
  return std::make_unique<NntpClient>(address);
}

ServerAddress NewsServerAddress() {
  const char* name = std::getenv("NNTPSERVER");
  if (name == nullptr || *name == '\0') {
    throw SoupError("NNTPSERVER names no news server");
  }
  return ParseServerAddress(name, Service::kNntp);
}

std::string AccountKey(const ServerAddress& address, const Credentials& login) {
  const std::string& user = address.has_credentials ? address.user : login.user;
  // An IMAP account's ids are not its POP3 ids, and they are the same on the plain and the TLS
  // port.
  if (address.protocol == Protocol::kImap) return "imap:" + user + "@" + address.host;
  return user + "@" + address.Display();
}

std::optional<NewsrcFile> ReadNewsrcFile(const Options& options) {
  NewsrcFile file;
  file.path = options.newsrc.empty() ? FindIgnoringCase(options.home, ".newsrc") : options.newsrc;
  std::optional<std::string> text = ReadSmallFile(file.path);
  if (!text) return std::nullopt;
  file.text = std::move(*text);
  file.newsrc = ParseNewsrc(file.text);
  return file;
}

void SaveNewsrcFile(const NewsrcFile& file) {
  const std::string updated = FormatNewsrc(file.newsrc);
  if (updated == file.text) return;
  WriteFileAtomically(file.path + ".old", file.text);
  WriteFileAtomically(file.path, updated);
}

namespace {

std::vector<std::string>& Secrets() {
  static std::vector<std::string> secrets;
  return secrets;
}

// What is said never holds a secret, whoever put it there (a server may echo the password).
std::string Scrubbed(std::string text) {
  for (const std::string& secret : Secrets()) {
    for (std::size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + 3)) {
      text.replace(at, secret.size(), "***");
    }
  }
  return text;
}

}  // namespace

void KeepSecret(const std::string& secret) {
  if (secret.size() >= 2) Secrets().push_back(secret);
}

void Say(const std::string& raw) {
  const std::string text = Scrubbed(raw);
  std::fprintf(stdout, "tidewire-soup: %s\n", text.c_str());
  std::fflush(stdout);
}

namespace {
bool tracing = false;
}  // namespace

void SetTracing(bool on) { tracing = on; }

void Trace(const std::string& text) {
  if (tracing) Say(text);
}

void Complain(const std::string& raw) {
  const std::string text = Scrubbed(raw);
  std::fprintf(stderr, "tidewire-soup: %s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace tidewire::soup
