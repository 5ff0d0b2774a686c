#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "soup/connection.h"
#include "soup/server_address.h"
#include "soup/servers.h"

namespace tidewire::soup {

// A POP3 session (RFC 1939): STLS when offered, UTF8 when offered, USER/PASS or a SASL login
// (XOAUTH2, OAUTHBEARER), UIDL, RETR, DELE, QUIT.
class Pop3Client : public MailDrop {
 public:
  // Connects and logs in; throws SoupError when the server cannot be reached or refuses.
  Pop3Client(const ServerAddress& address, const Credentials& login);
  // The same over a connection already open to the server.
  Pop3Client(std::unique_ptr<Connection> connection, const ServerAddress& address,
             const Credentials& login);

  [[nodiscard]] std::vector<WaitingMail> List() override;
  void Retrieve(const WaitingMail& mail,
                const std::function<void(std::string_view line)>& line) override;
  void Delete(const WaitingMail& mail) override;
  void Finish() override;

  // The waiting messages' count (STAT), touching nothing.
  [[nodiscard]] std::uint64_t Count();

 private:
  std::string Command(const std::string& line, const std::string& shown);
  // CAPA's names (upper case) with the rest of their lines.
  std::map<std::string, std::string> Capabilities();

  std::unique_ptr<Connection> connection_;
};

}  // namespace tidewire::soup
