#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "soup/connection.h"
#include "soup/server_address.h"
#include "soup/servers.h"

namespace tidewire::soup {

// The login of an address: a user or password in the URL wins over the command line's, and the
// URL's ;AUTH= mechanism comes along.
[[nodiscard]] Credentials LoginFor(const ServerAddress& address, const Credentials& given);

// The file in the station whose one line is the command that prints an OAuth2 access token.
inline constexpr const char* kTokenCommandFile = "TOKEN.CMD";

// The access token of an OAuth2 login: the first line the command in TOKEN.CMD writes (run
// with /bin/sh in the working directory, each time a token is needed), or the password when
// the station has no TOKEN.CMD. Throws SoupError when the command fails or prints nothing.
[[nodiscard]] std::string AccessToken(const Credentials& login);

// One protocol's framing of a SASL exchange (IMAP AUTHENTICATE, POP3 AUTH, SMTP AUTH): the
// lines sent are the same, the answers differ.
class SaslWire {
 public:
  struct Step {
    bool more = false;      // the server asks for more: `text` is its base64 challenge
    bool accepted = false;  // the exchange ended with success
    std::string text;       // the challenge, or the final answer as the server wrote it
  };
  // COMMAND starts the exchange: "AUTH", or "t4 AUTHENTICATE" with the tag.
  SaslWire(Connection& connection, std::string command)
      : connection_(connection), command_(std::move(command)) {}
  virtual ~SaslWire() = default;
  // Sends the command naming MECHANISM, with the base64 INITIAL response when there is one.
  [[nodiscard]] Step Start(const std::string& mechanism, const std::optional<std::string>& initial);
  // Sends one base64 response line.
  [[nodiscard]] Step Answer(const std::string& response);

 protected:
  // Reads the server's answer to what was sent.
  [[nodiscard]] virtual Step Await() = 0;
  Connection& connection_;

 private:
  std::string command_;
};

// Logs in with LOGIN's mechanism (PLAIN for a password; XOAUTH2, OAUTHBEARER with a token),
// the initial response in the first command when it has at most ONE_STEP_LIMIT characters,
// else after the server's "go ahead". A refusal throws SoupError with the server's words and,
// for OAuth2, its decoded error; nothing else is tried afterwards. SERVER_NAME says who refuses
// ("host:993: the IMAP server").
void SaslLogIn(SaslWire& wire, const Credentials& login, const ServerAddress& address,
               std::size_t one_step_limit, const std::string& server_name);

// The base64 initial response of MECHANISM (PLAIN, XOAUTH2, OAUTHBEARER) for LOGIN with SECRET.
[[nodiscard]] std::string InitialResponse(const std::string& mechanism, const Credentials& login,
                                          const std::string& secret, const ServerAddress& address);

// Decodes base64; nothing when TEXT is not base64.
[[nodiscard]] std::optional<std::string> FromBase64(std::string_view text);

}  // namespace tidewire::soup
