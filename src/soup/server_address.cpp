#include "soup/server_address.h"

#include <charconv>

#include "soup/runs.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

struct Scheme {
  std::string_view name;
  Service service;
  std::uint16_t port;
  TlsMode tls;
  Protocol protocol;
};

constexpr Scheme kSchemes[] = {
    {"pop3", Service::kMailbox, 110, TlsMode::kStartTlsWhenOffered, Protocol::kPop3},
    {"pop3s", Service::kMailbox, 995, TlsMode::kImplicit, Protocol::kPop3},
    {"imap", Service::kMailbox, 143, TlsMode::kStartTlsWhenOffered, Protocol::kImap},
    {"imaps", Service::kMailbox, 993, TlsMode::kImplicit, Protocol::kImap},
    {"smtp", Service::kSmtp, 25, TlsMode::kStartTlsWhenOffered, Protocol::kSmtp},
    {"submission", Service::kSmtp, 587, TlsMode::kStartTlsWhenOffered, Protocol::kSmtp},
    {"smtps", Service::kSmtp, 465, TlsMode::kImplicit, Protocol::kSmtp},
    {"nntp", Service::kNntp, 119, TlsMode::kStartTlsWhenOffered, Protocol::kNntp},
    {"nntps", Service::kNntp, 563, TlsMode::kImplicit, Protocol::kNntp},
};

// The scheme a bare host name stands for.
const Scheme& DefaultScheme(Service service) {
  switch (service) {
    case Service::kMailbox:
      return kSchemes[0];
    case Service::kSmtp:
      return kSchemes[4];
    case Service::kNntp:
      return kSchemes[7];
  }
  return kSchemes[0];
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

const char* ServiceName(Service service) {
  switch (service) {
    case Service::kMailbox:
      return "mailbox (POP3 or IMAP)";
    case Service::kSmtp:
      return "SMTP";
    case Service::kNntp:
      return "NNTP";
  }
  return "";
}

// The address as it may be shown: a password in its user part becomes "***".
std::string Shown(std::string_view text) {
  std::string shown(text);
  const std::size_t sep = shown.find("://");
  if (sep == std::string::npos) return shown;
  const std::size_t at = shown.rfind('@');
  if (at == std::string::npos || at < sep) return shown;
  const std::size_t colon = shown.find(':', sep + 3);
  if (colon != std::string::npos && colon < at) shown.replace(colon + 1, at - colon - 1, "***");
  return shown;
}

[[noreturn]] void Refuse(std::string_view text, const std::string& why) {
  throw SoupError("server address \"" + Shown(text) + "\": " + why);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text, std::string_view whole) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
      const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
      if (high < 0 || low < 0) Refuse(whole, "a % is not followed by two hex digits");
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::uint16_t ParsePort(std::string_view digits, std::string_view whole) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      value == 0 || value > 65535) {
    Refuse(whole, "the port is not a number from 1 to 65535");
  }
  return static_cast<std::uint16_t>(value);
}

// host, host:port, [v6], [v6]:port, or a bare IPv6 address.
void ParseHostPort(std::string_view text, std::string_view whole, ServerAddress& address) {
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) Refuse(whole, "a [ without ]");
    address.host = std::string(text.substr(1, close - 1));
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') Refuse(whole, "unexpected text after ]");
      address.port = ParsePort(rest.substr(1), whole);
    }
  } else if (text.find(':') != text.rfind(':')) {
    address.host = std::string(text);  // an IPv6 address without a port
  } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    address.host = std::string(text.substr(0, colon));
    address.port = ParsePort(text.substr(colon + 1), whole);
  } else {
    address.host = std::string(text);
  }
  if (address.host.empty()) Refuse(whole, "no host name");
  for (const char c : address.host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '@') {
      Refuse(whole, "the host name holds a character no host name has");
    }
  }
}

}  // namespace

std::string ServerAddress::Display() const {
  if (spool) return "spool:" + spool_dir;
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

ServerAddress ParseServerAddress(std::string_view text, Service service) {
  ServerAddress address;
  if (text.substr(0, 6) == "spool:") {
    address.spool = true;
    address.spool_dir = std::string(text.substr(6));
    if (address.spool_dir.empty()) Refuse(text, "spool: names no folder");
    return address;
  }
  if (text.empty()) {
    throw SoupError(std::string("no ") + ServiceName(service) + " server given");
  }
  address.port = DefaultScheme(service).port;
  address.protocol = DefaultScheme(service).protocol;
  std::string_view rest = text;
  if (const std::size_t sep = text.find("://"); sep != std::string_view::npos) {
    const std::string_view name = text.substr(0, sep);
    const Scheme* found = nullptr;
    for (const Scheme& scheme : kSchemes) {
      if (scheme.name == name) found = &scheme;
    }
    if (found == nullptr) Refuse(text, "unknown scheme " + std::string(name) + "://");
    if (found->service != service) {
      Refuse(text, std::string("a ") + ServiceName(service) + " server is needed here");
    }
    address.port = found->port;
    address.tls = found->tls;
    address.protocol = found->protocol;
    rest = text.substr(sep + 3);
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
      const std::string_view userinfo = rest.substr(0, at);
      const std::size_t colon = userinfo.find(':');
      std::string_view user = userinfo.substr(0, colon);
      if (const std::size_t semi = user.find(';'); semi != std::string_view::npos) {
        const std::string parameter = Upper(user.substr(semi + 1));
        if (parameter.rfind("AUTH=", 0) != 0) Refuse(text, "after ; only AUTH=mechanism may stand");
        address.mechanism = parameter.substr(5);
        if (address.mechanism == "*") address.mechanism.clear();  // any: the password's way
        if (!address.mechanism.empty() && address.mechanism != "XOAUTH2" &&
            address.mechanism != "OAUTHBEARER") {
          Refuse(text, "unknown AUTH=" + address.mechanism + " (known: XOAUTH2, OAUTHBEARER)");
        }
        if (service == Service::kNntp && !address.mechanism.empty()) {
          Refuse(text, "AUTH= is for the mail servers; the news server logs in by password");
        }
        user = user.substr(0, semi);
      }
      address.user = PercentDecoded(user, text);
      if (colon != std::string_view::npos) {
        address.has_password = true;
        address.password = PercentDecoded(userinfo.substr(colon + 1), text);
        KeepSecret(address.password);
        KeepSecret(std::string(userinfo.substr(colon + 1)));
      }
      address.has_credentials = !address.user.empty() || colon != std::string_view::npos;
      rest = rest.substr(at + 1);
    }
  }
  ParseHostPort(rest, text, address);
  return address;
}

}  // namespace tidewire::soup
