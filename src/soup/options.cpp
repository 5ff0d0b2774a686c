#include "soup/options.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace tidewire::soup {
namespace {

bool ParseNumber(const char* text, std::uint64_t& value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoull(text, &end, 10);
  return *end == '\0' && errno == 0;
}

// The password of a URL's user:pass@ becomes asterisks where ps would show it.
void HideUrlPassword(char* text) {
  char* scheme = std::strstr(text, "://");
  if (scheme == nullptr) return;
  char* start = scheme + 3;
  char* at = std::strrchr(start, '@');
  if (at == nullptr) return;
  char* colon = static_cast<char*>(std::memchr(start, ':', static_cast<std::size_t>(at - start)));
  if (colon == nullptr) return;
  for (char* c = colon + 1; c < at; ++c) *c = '*';
}

}  // namespace

const char* const kPasswordVariable = "TIDEWIRE_SOUP_PASSWORD";

const char* const kUsage =
    "usage: tidewire-soup [options] [host user password]\n"
    "       tidewire-soup --check server user password\n"
    "  (none)   fetch mail (POP3) and news (NNTPSERVER) into SOUP files here\n"
    "  -s       send the reply packet (REPLIES): mail to host by SMTP, news to NNTPSERVER\n"
    "  -c n     mark all as read but the last n articles of each group, and the waiting mail\n"
    "  -k n     news packet limit in kilobytes (0: none; default 2048)\n"
    "  -r       leave the mail on the server (fetched once all the same)\n"
    "  -m       do not get mail     -n  do not get news\n"
    "  -h dir   home folder (.newsrc)     -N file  newsrc file\n"
    "  --check  connect, show TLS and mechanisms, log in, count the mail; change nothing\n"
    "password: also TIDEWIRE_SOUP_PASSWORD (kept out of the process list)\n"
    "host: host, host:port, [v6]:port, pop3://, pop3s://, imap://, imaps://, smtp://,\n"
    "      smtps://, submission:// or spool:DIR; NNTPSERVER also nntp://[user:pass@]host...\n"
    "      OAuth2: imaps://user;AUTH=XOAUTH2@host (or OAUTHBEARER, user optional): the token\n"
    "      is the first line TOKEN.CMD's command prints, else the password\n"
    "exit status: 0 all done, 1 something was not done (see the messages), 2 wrong command line\n"
    "more: man tidewire-soup\n";

std::optional<Options> ParseCommandLine(int argc, char** argv, std::string& error) {
  Options options;
  int i = 1;
  for (; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-' || arg[1] == '\0') break;
    if (std::strcmp(arg, "--") == 0) {
      ++i;
      break;
    }
    if (std::strcmp(arg, "--help") == 0) {
      options.help = true;
      return options;
    }
    if (std::strcmp(arg, "--check") == 0) {
      options.mode = Mode::kCheck;
      continue;
    }
    for (const char* flag = arg + 1; *flag != '\0'; ++flag) {
      const char letter = *flag;
      if (letter == 'r' || letter == 's' || letter == 'm' || letter == 'n') {
        if (letter == 'r') options.read_only = true;
        if (letter == 's') options.mode = Mode::kSend;
        if (letter == 'm') options.get_mail = false;
        if (letter == 'n') options.get_news = false;
        continue;
      }
      if (letter != 'c' && letter != 'k' && letter != 'h' && letter != 'N') {
        error = std::string("unknown option -") + letter;
        return std::nullopt;
      }
      // An option with a value takes the rest of this word or the next word.
      const char* value = flag[1] != '\0' ? flag + 1 : (i + 1 < argc ? argv[++i] : nullptr);
      if (value == nullptr) {
        error = std::string("option -") + letter + " needs a value";
        return std::nullopt;
      }
      std::uint64_t number = 0;
      if (letter == 'c' || letter == 'k') {
        if (!ParseNumber(value, number) || (letter == 'k' && number > (UINT64_MAX >> 10))) {
          error = std::string("option -") + letter + " needs a number, not \"" + value + "\"";
          return std::nullopt;
        }
      }
      if (letter == 'c') {
        options.mode = Mode::kCatchUp;
        options.keep_unread = number;
      } else if (letter == 'k') {
        options.max_news_bytes = number * 1024;
      } else if (letter == 'h') {
        options.home = value;
      } else {
        options.newsrc = value;
      }
      break;
    }
  }
  std::vector<char*> positional(argv + i, argv + argc);
  if (positional.size() > 3) {
    error = "too many arguments: only host, user and password follow the options";
    return std::nullopt;
  }
  if (!positional.empty()) options.host = positional[0];
  if (positional.size() > 1) options.login.user = positional[1];
  if (positional.size() > 2) options.login.password = positional[2];
  // The gateway hands its own client the password in the environment, which only the same
  // user can read, never on the command line, which everybody's ps shows.
  if (const char* secret = std::getenv(kPasswordVariable); secret != nullptr) {
    if (positional.size() <= 2) options.login.password = secret;
    ::unsetenv(kPasswordVariable);
  }
  // The gateway drops an empty login name from the line, so the password may stand second.
  for (std::size_t k = 1; k < positional.size(); ++k) {
    std::memset(positional[k], 0, std::strlen(positional[k]));
  }
  if (!positional.empty()) HideUrlPassword(positional[0]);
  // A password with no name before it would be sent, and shown, as the login name.
  if (!options.login.password.empty() && options.login.user.empty()) {
    error = "a password but no login name (UserID) is given: nothing is sent";
    return std::nullopt;
  }
  if (options.home.empty()) {
    const char* home = std::getenv("HOME");
    options.home = home != nullptr && *home != '\0' ? home : ".";
  }
  return options;
}

}  // namespace tidewire::soup
