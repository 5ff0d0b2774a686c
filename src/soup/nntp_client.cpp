#include "soup/nntp_client.h"

#include <cctype>
#include <cstdlib>
#include <utility>

#include "soup/protocol.h"
#include "soup/runs.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

constexpr int kAuthenticationRequired = 480;

}  // namespace

NntpClient::NntpClient(const ServerAddress& address)
    : NntpClient(Connection::Open(address), address) {}

NntpClient::NntpClient(std::unique_ptr<Connection> connection, const ServerAddress& address)
    : connection_(std::move(connection)), address_(address) {
  const Reply greeting = ReadReply(*connection_);
  if (greeting.code != 200 && greeting.code != 201) {
    throw SoupError(connection_->Name() + ": the news server does not serve us: " + greeting.text);
  }
  Trace(connection_->Name() + ": connected, " + connection_->TlsSummary() + "; " + greeting.text);
  // INN hands a connection to its reader only after MODE READER, and wants it before AUTHINFO.
  (void)Send("MODE READER");
  if (!connection_->Encrypted() && Capabilities().count("STARTTLS") != 0) {
    const Reply ready = Send("STARTTLS");
    if (ready.code != 382) {
      throw SoupError(connection_->Name() + ": STARTTLS refused: " + ready.text);
    }
    connection_->StartTls();
    Trace("STARTTLS: " + connection_->TlsSummary());
  }
  if (address_.has_credentials) LogIn();
}

Reply NntpClient::Send(const std::string& line) {
  connection_->Write(line + "\r\n");
  return ReadReply(*connection_);
}

Reply NntpClient::Command(const std::string& line) {
  Reply reply = Send(line);
  if (reply.code == kAuthenticationRequired && !logged_in_) {
    if (!address_.has_credentials) {
      throw SoupError(connection_->Name() +
                      ": the news server wants a login; give NNTPSERVER as"
                      " nntp://user:password@" +
                      address_.host);
    }
    LogIn();
    reply = Send(line);
  }
  return reply;
}

std::set<std::string> NntpClient::Capabilities() {
  std::set<std::string> names;
  const Reply reply = Send("CAPABILITIES");
  if (reply.code != 101) return names;
  ReadDotBlock(*connection_, [&](std::string_view line) {
    std::string name(line.substr(0, line.find(' ')));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    names.insert(name);
  });
  return names;
}

void NntpClient::LogIn() {
  if (!connection_->Encrypted() && !connection_->Loopback()) {
    throw SoupError(connection_->Name() +
                    ": the news server offers no encryption (STARTTLS), so the password is not"
                    " sent; use nntps:// if it offers NNTP over TLS");
  }
  Reply reply = Send("AUTHINFO USER " + address_.user);
  if (reply.code == 381) reply = Send("AUTHINFO PASS " + address_.password);
  if (reply.code != 281) {
    throw SoupError(connection_->Name() + ": the news server refused the login of " +
                    address_.user + ": " + reply.text);
  }
  logged_in_ = true;
  Trace("logged in as " + address_.user + " (AUTHINFO)");
}

std::optional<GroupRange> NntpClient::Group(const std::string& name) {
  const Reply reply = Command("GROUP " + name);
  if (reply.code == 411) return std::nullopt;
  if (reply.code != 211) {
    throw SoupError(connection_->Name() + ": GROUP " + name + " failed: " + reply.text);
  }
  GroupRange range;
  char* end = nullptr;
  const char* text = reply.text.c_str() + 3;
  range.count = std::strtoull(text, &end, 10);
  range.low = std::strtoull(end, &end, 10);
  range.high = std::strtoull(end, &end, 10);
  current_group_ = name;
  return range;
}

std::optional<std::string> NntpClient::Article(const std::string& group, std::uint64_t number) {
  if (group != current_group_ && !Group(group)) return std::nullopt;
  const Reply reply = Command("ARTICLE " + std::to_string(number));
  if (reply.code == 423 || reply.code == 430) return std::nullopt;
  if (reply.code != 220) {
    throw SoupError(connection_->Name() + ": ARTICLE " + std::to_string(number) + " in " + group +
                    " failed: " + reply.text);
  }
  std::string article;
  ReadDotBlock(
      *connection_,
      [&](std::string_view whole) {
        SplitAtLoneCr(whole, [&](std::string_view line) {
          article.append(line);
          article += '\n';
        });
      },
      kMaxMessageBytes);
  return article;
}

Delivery NntpClient::Post(std::string_view article) {
  Delivery delivery;
  Reply reply = Command("POST");
  if (reply.code == 440) {
    throw SoupError(connection_->Name() + ": the news server does not let us post: " + reply.text);
  }
  if (reply.code != 340) {
    delivery.refusal = reply.text;
    return delivery;
  }
  WriteDotBlock(*connection_, article);
  reply = ReadReply(*connection_);
  delivery.sent = reply.code == 240;
  if (!delivery.sent) delivery.refusal = reply.text;
  return delivery;
}

void NntpClient::Finish() { (void)Send("QUIT"); }

}  // namespace tidewire::soup
