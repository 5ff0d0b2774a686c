#include "soup/pop3_client.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <utility>

#include "soup/protocol.h"
#include "soup/runs.h"
#include "soup/sasl.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

bool Ok(const std::string& line) { return line.substr(0, 3) == "+OK"; }

constexpr std::size_t kMaxListedMails = 100000;

// POP3's side of a SASL exchange (RFC 5034): AUTH, "+ " continuations, +OK or -ERR.
class Pop3Wire : public SaslWire {
 public:
  explicit Pop3Wire(Connection& connection) : SaslWire(connection, "AUTH") {}

 private:
  Step Await() override {
    const std::string line = connection_.ReadLine();
    if (line.rfind('+', 0) == 0 && !Ok(line)) {
      return {true, false, line.size() > 2 ? line.substr(2) : ""};
    }
    return {false, Ok(line), line};
  }
};

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
  Trace(connection_->Name() + ": connected, " + connection_->TlsSummary());
  std::map<std::string, std::string> capabilities = Capabilities();
  if (!connection_->Encrypted() && capabilities.count("STLS") != 0) {
    Command("STLS", "STLS");
    connection_->StartTls();
    Trace("STLS: " + connection_->TlsSummary());
    capabilities = Capabilities();
  }
  if (!connection_->Encrypted() && !connection_->Loopback()) {
    throw SoupError(connection_->Name() +
                    ": the POP3 server offers no encryption (STLS), so no secret is sent;"
                    " use pop3s://" +
                    address.host + " if it offers POP3 over TLS");
  }
  if (login.user.empty()) throw SoupError("no login name given for the POP3 server");
  // Mail with UTF-8 in its header comes as it is, not wrapped into a notice (RFC 6856); the
  // command belongs before the login.
  if (capabilities.count("UTF8") != 0) (void)Command("UTF8", "UTF8");
  const auto sasl = capabilities.find("SASL");
  Trace("mechanisms offered: " +
        (sasl == capabilities.end() ? std::string("USER/PASS only") : sasl->second));
  if (login.mechanism.empty()) {
    Command("USER " + login.user, "the login name " + login.user);
    Command("PASS " + login.password, "the login of " + login.user);
  } else {
    const std::string offered = sasl == capabilities.end() ? "" : " " + sasl->second + " ";
    if (sasl != capabilities.end() &&
        offered.find(" " + login.mechanism + " ") == std::string::npos) {
      throw SoupError(connection_->Name() + ": the POP3 server does not offer " + login.mechanism +
                      " (it offers: " + sasl->second + "): no other login is tried");
    }
    Pop3Wire wire(*connection_);
    // RFC 5034: a command with its initial response fits 255 octets, else it goes in two steps
    // (a Microsoft token never fits, and Office 365 wants the two steps).
    SaslLogIn(wire, login, address, 255 - 2 - std::string("AUTH  ").size() - login.mechanism.size(),
              connection_->Name() + ": the POP3 server");
  }
  Trace("logged in as " + login.user + " (" +
        (login.mechanism.empty() ? std::string("password") : login.mechanism) + ")");
}

std::string Pop3Client::Command(const std::string& line, const std::string& shown) {
  connection_->Write(line + "\r\n");
  std::string answer = connection_->ReadLine();
  if (!Ok(answer)) {
    throw SoupError(connection_->Name() + ": the POP3 server refused " + shown + ": " + answer);
  }
  return answer;
}

std::map<std::string, std::string> Pop3Client::Capabilities() {
  std::map<std::string, std::string> names;
  connection_->Write("CAPA\r\n");
  if (!Ok(connection_->ReadLine())) return names;  // an RFC 1939 server without CAPA
  ReadDotBlock(*connection_, [&](std::string_view line) {
    const std::size_t blank = line.find(' ');
    std::string name(line.substr(0, blank));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string rest(blank == std::string_view::npos ? "" : line.substr(blank + 1));
    for (char& c : rest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    names[name] = rest;
  });
  return names;
}

std::uint64_t Pop3Client::Count() {
  const std::string stat = Command("STAT", "STAT");
  return std::strtoull(stat.c_str() + 3, nullptr, 10);
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
  for (std::size_t number = 1; number <= count; ++number) mails.push_back({number, "", 0, ""});
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
