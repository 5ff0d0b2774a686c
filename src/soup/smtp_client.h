#pragma once

#include <memory>
#include <set>
#include <string>

#include "soup/connection.h"
#include "soup/protocol.h"
#include "soup/server_address.h"
#include "soup/servers.h"

namespace tidewire::soup {

// An SMTP session (RFC 5321): EHLO or HELO, STARTTLS when offered, AUTH PLAIN or LOGIN when
// offered and a login is known (XOAUTH2 or OAUTHBEARER when the address asks for it), then one
// transaction per message, with SMTPUTF8 where a message needs it and the server offers it.
class SmtpClient : public MailSender {
 public:
  SmtpClient(const ServerAddress& address, const Credentials& login);
  // The same over a connection already open to the server.
  SmtpClient(std::unique_ptr<Connection> connection, const ServerAddress& address,
             const Credentials& login);

  [[nodiscard]] Delivery Send(const Envelope& envelope, std::string_view message) override;
  void Finish() override;

 private:
  Reply Command(const std::string& line);
  void Hello();
  void LogIn(const ServerAddress& address, const Credentials& login);

  std::unique_ptr<Connection> connection_;
  std::set<std::string> extensions_;  // upper case, e.g. "STARTTLS", "AUTH PLAIN"
};

}  // namespace tidewire::soup
