#pragma once

#include <memory>
#include <set>
#include <string>

#include "soup/connection.h"
#include "soup/protocol.h"
#include "soup/server_address.h"
#include "soup/servers.h"

namespace tidewire::soup {

// An NNTP reader session (RFC 3977): MODE READER, STARTTLS when offered, AUTHINFO USER/PASS
// (RFC 4643) when the address carries a login, GROUP, ARTICLE and POST.
class NntpClient : public NewsServer {
 public:
  explicit NntpClient(const ServerAddress& address);
  // The same over a connection already open to the server.
  NntpClient(std::unique_ptr<Connection> connection, const ServerAddress& address);

  [[nodiscard]] std::optional<GroupRange> Group(const std::string& name) override;
  [[nodiscard]] std::optional<std::string> Article(const std::string& group,
                                                   std::uint64_t number) override;
  [[nodiscard]] Delivery Post(std::string_view article) override;
  void Finish() override;

 private:
  Reply Command(const std::string& line);
  Reply Send(const std::string& line);
  std::set<std::string> Capabilities();
  void LogIn();

  std::unique_ptr<Connection> connection_;
  ServerAddress address_;
  bool logged_in_ = false;
  std::string current_group_;
};

}  // namespace tidewire::soup
