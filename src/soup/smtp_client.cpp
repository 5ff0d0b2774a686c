#include "soup/smtp_client.h"

#include <cctype>
#include <optional>
#include <utility>

#include "soup/message_header.h"
#include "soup/protocol.h"
#include "soup/runs.h"
#include "soup/sasl.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool HasEightBit(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 128) return true;
  }
  return false;
}

// The header block: where UTF-8 needs SMTPUTF8 rather than 8BITMIME alone.
std::string_view HeaderOf(std::string_view message) {
  const std::size_t end = message.find("\n\n");
  return end == std::string_view::npos ? message : message.substr(0, end);
}

// SMTP's side of a SASL exchange (RFC 4954): AUTH, 334 challenges, 235 or a refusal.
class SmtpWire : public SaslWire {
 public:
  explicit SmtpWire(Connection& connection) : SaslWire(connection, "AUTH") {}

 private:
  Step Await() override {
    const Reply reply = ReadReply(connection_);
    if (reply.code == 334) return {true, false, reply.lines.back()};
    return {false, reply.code == 235, reply.text};
  }
};

}  // namespace

SmtpClient::SmtpClient(const ServerAddress& address, const Credentials& login)
    : SmtpClient(Connection::Open(address), address, login) {}

SmtpClient::SmtpClient(std::unique_ptr<Connection> connection, const ServerAddress& address,
                       const Credentials& login)
    : connection_(std::move(connection)) {
  const Reply greeting = ReadReply(*connection_);
  if (greeting.code / 100 != 2) {
    throw SoupError(connection_->Name() + ": the SMTP server does not serve us: " + greeting.text);
  }
  Trace(connection_->Name() + ": connected, " + connection_->TlsSummary());
  Hello();
  if (!connection_->Encrypted() && extensions_.count("STARTTLS") != 0) {
    const Reply ready = Command("STARTTLS");
    if (ready.code != 220) {
      throw SoupError(connection_->Name() + ": STARTTLS refused: " + ready.text);
    }
    connection_->StartTls();
    Trace("STARTTLS: " + connection_->TlsSummary());
    Hello();
  }
  if (!login.user.empty()) LogIn(address, login);
}

Reply SmtpClient::Command(const std::string& line) {
  connection_->Write(line + "\r\n");
  return ReadReply(*connection_);
}

void SmtpClient::Hello() {
  const std::string name = connection_->LocalName();
  extensions_.clear();
  Reply reply = Command("EHLO " + name);
  if (reply.code / 100 == 2) {
    for (std::size_t i = 1; i < reply.lines.size(); ++i) {
      std::string extension = Upper(reply.lines[i]);
      if (extension.substr(0, 5) == "AUTH=") extension[4] = ' ';  // the old form
      if (extension.substr(0, 5) == "AUTH ") {
        std::size_t start = 5;
        while (start < extension.size()) {
          const std::size_t blank = extension.find(' ', start);
          extensions_.insert("AUTH " + extension.substr(start, blank - start));
          if (blank == std::string::npos) break;
          start = blank + 1;
        }
      } else {
        extensions_.insert(extension.substr(0, extension.find(' ')));
      }
    }
    return;
  }
  reply = Command("HELO " + name);
  if (reply.code / 100 != 2) {
    throw SoupError(connection_->Name() + ": the SMTP server refused HELO: " + reply.text);
  }
}

void SmtpClient::LogIn(const ServerAddress& address, const Credentials& login) {
  std::string offered;
  for (const std::string& extension : extensions_) {
    if (extension.rfind("AUTH ", 0) == 0) offered += " " + extension.substr(5);
  }
  Trace("mechanisms offered:" + (offered.empty() ? std::string(" none") : offered));
  const bool plain = extensions_.count("AUTH PLAIN") != 0;
  const bool login_mechanism = extensions_.count("AUTH LOGIN") != 0;
  if (!login.mechanism.empty() && extensions_.count("AUTH " + login.mechanism) == 0) {
    throw SoupError(connection_->Name() + ": the SMTP server does not offer " + login.mechanism +
                    " (it offers:" + (offered.empty() ? " no login at all" : offered) +
                    "): no other login is tried");
  }
  // A server without AUTH takes mail as it is.
  if (login.mechanism.empty() && !plain && !login_mechanism) return;
  if (!connection_->Encrypted() && !connection_->Loopback()) {
    throw SoupError(connection_->Name() +
                    ": the SMTP server offers no encryption (STARTTLS), so no secret is"
                    " sent; use smtps:// or submission:// if the provider offers them");
  }
  if (!login.mechanism.empty() || plain) {
    SmtpWire wire(*connection_);
    // RFC 4954: the AUTH line with its initial response stays within 512 octets.
    const std::string mechanism = login.mechanism.empty() ? "PLAIN" : login.mechanism;
    SaslLogIn(wire, login, address, 512 - 2 - std::string("AUTH  ").size() - mechanism.size(),
              connection_->Name() + ": the SMTP server");
  } else {
    Reply reply = Command("AUTH LOGIN");
    if (reply.code == 334) reply = Command(Base64(login.user));
    if (reply.code == 334) reply = Command(Base64(login.password));
    if (reply.code != 235) {
      throw SoupError(connection_->Name() + ": the SMTP server refused the login of " + login.user +
                      ": " + reply.text);
    }
  }
  Trace("logged in as " + login.user + " (" +
        (login.mechanism.empty() ? std::string("password") : login.mechanism) + ")");
}

Delivery SmtpClient::Send(const Envelope& envelope, std::string_view original) {
  Delivery delivery;
  const std::string wire = ForSmtp(original);
  const std::string_view message = wire;
  const bool eight_bit = extensions_.count("8BITMIME") != 0 && HasEightBit(message);
  // RFC 6531: UTF-8 in an address or a header field is announced where the server takes it.
  bool utf8 = HasEightBit(envelope.sender) || HasEightBit(HeaderOf(message));
  for (const std::string& recipient : envelope.recipients) utf8 = utf8 || HasEightBit(recipient);
  utf8 = utf8 && extensions_.count("SMTPUTF8") != 0;
  Reply reply = Command("MAIL FROM:<" + envelope.sender + ">" +
                        (eight_bit ? " BODY=8BITMIME" : "") + (utf8 ? " SMTPUTF8" : ""));
  if (reply.code / 100 != 2) {
    delivery.refusal = reply.text;
    if (reply.code / 100 == 5 || reply.code / 100 == 4) (void)Command("RSET");
    return delivery;
  }
  std::size_t accepted = 0;
  for (const std::string& recipient : envelope.recipients) {
    reply = Command("RCPT TO:<" + recipient + ">");
    if (reply.code / 100 == 2) {
      ++accepted;
    } else {
      delivery.refused.push_back(recipient + " (" + reply.text + ")");
    }
  }
  if (accepted == 0) {
    delivery.refusal = "no recipient was accepted: " + reply.text;
    delivery.refused.clear();
    (void)Command("RSET");
    return delivery;
  }
  reply = Command("DATA");
  if (reply.code != 354) {
    delivery.refusal = reply.text;
    (void)Command("RSET");
    return delivery;
  }
  WriteDotBlock(*connection_, message);
  reply = ReadReply(*connection_);
  if (reply.code / 100 != 2) {
    delivery.refusal = reply.text;
    return delivery;
  }
  delivery.sent = true;
  return delivery;
}

void SmtpClient::Finish() { (void)Command("QUIT"); }

}  // namespace tidewire::soup
