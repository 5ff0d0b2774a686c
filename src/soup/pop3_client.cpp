#include "soup/pop3_client.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

#include "soup/protocol.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

bool Ok(const std::string& line) { return line.substr(0, 3) == "+OK"; }

constexpr std::size_t kMaxListedMails = 100000;

}  // namespace

Pop3Client::Pop3Client(const ServerAddress& address, const Credentials& login)
    : Pop3Client(Connection::Open(address), address, login) {}

Pop3Client::Pop3Client(std::unique_ptr<Connection> connection, const ServerAddress& address,
                       const Credentials& login)
    : connection_(std::move(connection)) {
  const std::string greeting = connection_->ReadLine();
  if (!Ok(greeting)) {
    throw SoupError(connection_->Name() + ": the POP3 server does not serve us: " + greeting);
  }
  std::set<std::string> capabilities = Capabilities();
  if (!connection_->Encrypted() && capabilities.count("STLS") != 0) {
    Command("STLS", "STLS");
    connection_->StartTls();
    capabilities = Capabilities();
  }
  if (!connection_->Encrypted() && !connection_->Loopback()) {
    throw SoupError(connection_->Name() +
                    ": the POP3 server offers no encryption (STLS), so the password is not sent;"
                    " use pop3s://" +
                    address.host + " if it offers POP3 over TLS");
  }
  if (login.user.empty()) throw SoupError("no login name given for the POP3 server");
  Command("USER " + login.user, "the login name " + login.user);
  Command("PASS " + login.password, "the login of " + login.user);
}

std::string Pop3Client::Command(const std::string& line, const std::string& shown) {
  connection_->Write(line + "\r\n");
  std::string answer = connection_->ReadLine();
  if (!Ok(answer)) {
    throw SoupError(connection_->Name() + ": the POP3 server refused " + shown + ": " + answer);
  }
  return answer;
}

std::set<std::string> Pop3Client::Capabilities() {
  std::set<std::string> names;
  connection_->Write("CAPA\r\n");
  if (!Ok(connection_->ReadLine())) return names;  // an RFC 1939 server without CAPA
  ReadDotBlock(*connection_, [&](std::string_view line) {
    std::string name(line.substr(0, line.find(' ')));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    names.insert(name);
  });
  return names;
}

std::vector<WaitingMail> Pop3Client::List() {
  std::vector<WaitingMail> mails;
  connection_->Write("UIDL\r\n");
  if (Ok(connection_->ReadLine())) {
    ReadDotBlock(*connection_, [&](std::string_view line) {
      const std::size_t blank = line.find(' ');
      if (blank == std::string_view::npos) return;
      WaitingMail mail;
      mail.number = std::strtoul(std::string(line.substr(0, blank)).c_str(), nullptr, 10);
      mail.uidl = std::string(line.substr(blank + 1));
      if (mail.number > 0) mails.push_back(mail);
    });
    return mails;
  }
  // No UIDL: the numbers alone, from STAT.
  const std::string stat = Command("STAT", "STAT");
  // STAT's count is only the server's word: past the cap the mail waits for the next session
  // instead of the list filling memory.
  const std::size_t count =
      std::min<std::size_t>(std::strtoul(stat.c_str() + 3, nullptr, 10), kMaxListedMails);
  for (std::size_t number = 1; number <= count; ++number) mails.push_back({number, ""});
  return mails;
}

void Pop3Client::Retrieve(const WaitingMail& mail,
                          const std::function<void(std::string_view line)>& line) {
  Command("RETR " + std::to_string(mail.number), "RETR " + std::to_string(mail.number));
  ReadDotBlock(*connection_, line, kMaxMessageBytes);
}

void Pop3Client::Delete(const WaitingMail& mail) {
  Command("DELE " + std::to_string(mail.number), "DELE " + std::to_string(mail.number));
}

void Pop3Client::Finish() { Command("QUIT", "QUIT (the deletions may not have been made)"); }

}  // namespace tidewire::soup
