#include "soup/smtp_client.h"

#include <cctype>
#include <utility>

#include "soup/message_header.h"
#include "soup/protocol.h"
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
  Hello();
  if (!connection_->Encrypted() && extensions_.count("STARTTLS") != 0) {
    const Reply ready = Command("STARTTLS");
    if (ready.code != 220) {
      throw SoupError(connection_->Name() + ": STARTTLS refused: " + ready.text);
    }
    connection_->StartTls();
    Hello();
  }
  const Credentials& used =
      address.has_credentials ? Credentials{address.user, address.password} : login;
  if (!used.user.empty()) LogIn(used);
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

void SmtpClient::LogIn(const Credentials& login) {
  const bool plain = extensions_.count("AUTH PLAIN") != 0;
  const bool login_mechanism = extensions_.count("AUTH LOGIN") != 0;
  if (!plain && !login_mechanism) return;  // a server without AUTH takes mail as it is
  if (!connection_->Encrypted() && !connection_->Loopback()) {
    throw SoupError(connection_->Name() +
                    ": the SMTP server offers no encryption (STARTTLS), so the password is not"
                    " sent; use smtps:// or submission:// if the provider offers them");
  }
  Reply reply;
  if (plain) {
    reply =
        Command("AUTH PLAIN " + Base64(std::string(1, '\0') + login.user + '\0' + login.password));
  } else {
    reply = Command("AUTH LOGIN");
    if (reply.code == 334) reply = Command(Base64(login.user));
    if (reply.code == 334) reply = Command(Base64(login.password));
  }
  if (reply.code != 235) {
    throw SoupError(connection_->Name() + ": the SMTP server refused the login of " + login.user +
                    ": " + reply.text);
  }
}

Delivery SmtpClient::Send(const Envelope& envelope, std::string_view original) {
  Delivery delivery;
  const std::string wire = ForSmtp(original);
  const std::string_view message = wire;
  const bool eight_bit = extensions_.count("8BITMIME") != 0 && HasEightBit(message);
  Reply reply =
      Command("MAIL FROM:<" + envelope.sender + ">" + (eight_bit ? " BODY=8BITMIME" : ""));
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
