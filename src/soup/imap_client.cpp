#include "soup/imap_client.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>

#include "soup/message_header.h"
#include "soup/protocol.h"
#include "soup/runs.h"
#include "soup/sasl.h"
#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

// Deletions go in commands of this many UIDs, so that no command line grows without bound.
constexpr std::size_t kUidsPerCommand = 500;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::uint64_t Number(std::string_view text) {
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

bool IsTagged(const std::string& line, const std::string& tag) {
  return line.size() > tag.size() && line.compare(0, tag.size(), tag) == 0 &&
         line[tag.size()] == ' ';
}

// "OK ..." after the tag.
bool TaggedOk(const std::string& line, const std::string& tag) {
  return StartsWithIgnoringCase(std::string_view(line).substr(tag.size() + 1), "OK");
}

// A quoted string for LOGIN; nothing when TEXT holds what a quoted string cannot.
std::optional<std::string> Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\r' || c == '\n' || c == '\0' || static_cast<unsigned char>(c) >= 128) {
      return std::nullopt;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The value of a Message-ID field in a header block, unfolded and trimmed.
std::string MessageId(const std::string& header) {
  for (const HeaderField& field : HeaderFields(header)) {
    if (Upper(field.name) != "MESSAGE-ID") continue;
    std::string value;
    for (const char c : field.value) {
      if (c != '\r' && c != '\n' && c != ' ' && c != '\t') value += c;
    }
    return value;
  }
  return "";
}

// IMAP's side of a SASL exchange: AUTHENTICATE and "+" continuations.
class ImapWire : public SaslWire {
 public:
  ImapWire(Connection& connection, std::string tag)
      : SaslWire(connection, tag + " AUTHENTICATE"), tag_(std::move(tag)) {}

 private:
  Step Await() override {
    for (;;) {
      const std::string line = connection_.ReadLine();
      if (line.rfind('+', 0) == 0) return {true, false, line.size() > 2 ? line.substr(2) : ""};
      if (IsTagged(line, tag_)) return {false, TaggedOk(line, tag_), line.substr(tag_.size() + 1)};
      if (line.rfind("* BYE", 0) == 0) return {false, false, line};
    }
  }
  std::string tag_;
};

}  // namespace

std::vector<std::pair<std::string, std::string>> FetchItems(const ImapClient::Response& response) {
  std::vector<std::pair<std::string, std::string>> items;
  const std::string& line = response.line;
  std::size_t pos = Upper(line).find("FETCH (");
  if (pos == std::string::npos) return items;
  pos += 7;
  const auto skip_blanks = [&] {
    while (pos < line.size() && line[pos] == ' ') ++pos;
  };
  // An atom, with a [section] in it taken whole (it may hold blanks and parentheses).
  const auto atom = [&] {
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != ')' && line[pos] != '(') {
      if (line[pos] == '[') {
        const std::size_t close = line.find(']', pos);
        pos = close == std::string::npos ? line.size() : close + 1;
      } else {
        ++pos;
      }
    }
    return line.substr(start, pos - start);
  };
  const auto value = [&]() -> std::string {
    if (pos >= line.size()) return "";
    if (line[pos] == '\x01') {
      const std::size_t end = line.find('\x02', pos);
      const std::size_t index = Number(std::string_view(line).substr(pos + 1, end - pos - 1));
      pos = end == std::string::npos ? line.size() : end + 1;
      return index < response.literals.size() ? response.literals[index] : "";
    }
    if (line[pos] == '"') {
      std::string text;
      for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
        if (line[pos] == '\\' && pos + 1 < line.size()) ++pos;
        text += line[pos];
      }
      ++pos;
      return text;
    }
    if (line[pos] == '(') {
      const std::size_t start = ++pos;
      for (int depth = 1; pos < line.size() && depth > 0; ++pos) {
        if (line[pos] == '(') ++depth;
        if (line[pos] == ')') --depth;
      }
      return line.substr(start, pos - start - 1);
    }
    return atom();
  };
  for (;;) {
    skip_blanks();
    if (pos >= line.size() || line[pos] == ')') break;
    std::string name = Upper(atom());
    if (name.empty()) break;
    skip_blanks();
    items.emplace_back(std::move(name), value());
  }
  return items;
}

std::string UidSet(const std::vector<std::uint64_t>& uids) {
  std::string set;
  for (std::size_t i = 0; i < uids.size();) {
    std::size_t j = i;
    while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1) ++j;
    if (!set.empty()) set += ',';
    set += std::to_string(uids[i]);
    if (j > i) set += ':' + std::to_string(uids[j]);
    i = j + 1;
  }
  return set;
}

ImapClient::ImapClient(const ServerAddress& address, const Credentials& login)
    : ImapClient(Connection::Open(address), address, login) {}

ImapClient::ImapClient(std::unique_ptr<Connection> connection, const ServerAddress& address,
                       const Credentials& login)
    : connection_(std::move(connection)) {
  const std::string greeting = connection_->ReadLine();
  if (greeting.rfind("* OK", 0) != 0 && greeting.rfind("* PREAUTH", 0) != 0) {
    throw SoupError(connection_->Name() + ": the IMAP server does not serve us: " + greeting);
  }
  Trace(connection_->Name() + ": connected, " + connection_->TlsSummary());
  (void)Command("CAPABILITY");
  if (!connection_->Encrypted() && capabilities_.count("STARTTLS") != 0) {
    const Response ready = Command("STARTTLS");
    if (!TaggedOk(ready.line, "t" + std::to_string(next_tag_))) {
      throw SoupError(connection_->Name() + ": STARTTLS refused: " + ready.line);
    }
    connection_->StartTls();
    Trace("STARTTLS: " + connection_->TlsSummary());
    (void)Command("CAPABILITY");
  }
  if (!connection_->Encrypted() && !connection_->Loopback()) {
    throw SoupError(connection_->Name() +
                    ": the IMAP server offers no encryption (STARTTLS), so no secret is sent;"
                    " use imaps://" +
                    address.host + " if it offers IMAP over TLS");
  }
  if (greeting.rfind("* PREAUTH", 0) != 0) LogIn(address, login);
  (void)Command("CAPABILITY");
  // Mail with UTF-8 in its header comes as it is, not rewritten by the server.
  if (capabilities_.count("UTF8=ACCEPT") != 0 && capabilities_.count("ENABLE") != 0) {
    (void)Command("ENABLE UTF8=ACCEPT");
  }
}

void ImapClient::LogIn(const ServerAddress& address, const Credentials& login) {
  std::string offered;
  for (const std::string& capability : capabilities_) {
    if (capability.rfind("AUTH=", 0) == 0) offered += " " + capability.substr(5);
  }
  Trace("mechanisms offered:" + (offered.empty() ? std::string(" none (LOGIN only)") : offered));
  if (login.user.empty()) throw SoupError("no login name given for the IMAP server");
  const std::size_t one_step_limit = capabilities_.count("SASL-IR") != 0 ? SIZE_MAX : 0;
  const std::string mechanism = login.mechanism.empty() ? "PLAIN" : login.mechanism;
  if (capabilities_.count("AUTH=" + mechanism) != 0) {
    ImapWire wire(*connection_, "t" + std::to_string(++next_tag_));
    SaslLogIn(wire, login, address, one_step_limit, connection_->Name() + ": the IMAP server");
  } else if (!login.mechanism.empty()) {
    throw SoupError(connection_->Name() + ": the IMAP server does not offer " + mechanism +
                    " (it offers:" + offered + "): no other login is tried");
  } else if (capabilities_.count("LOGINDISABLED") != 0) {
    throw SoupError(connection_->Name() + ": the IMAP server takes no password login here");
  } else {
    const std::optional<std::string> user = Quoted(login.user);
    const std::optional<std::string> password = Quoted(login.password);
    if (!user || !password) {
      throw SoupError(connection_->Name() +
                      ": the login name or password holds characters IMAP's LOGIN cannot carry");
    }
    const Response answer = Command("LOGIN " + *user + " " + *password);
    if (!TaggedOk(answer.line, "t" + std::to_string(next_tag_))) {
      throw SoupError(connection_->Name() + ": the IMAP server refused the login of " + login.user +
                      ": " + answer.line.substr(answer.line.find(' ') + 1));
    }
  }
  Trace("logged in as " + login.user + " (" + (login.mechanism.empty() ? "password" : mechanism) +
        ")");
}

ImapClient::Response ImapClient::ReadResponse() {
  Response response;
  std::string line = connection_->ReadLine();
  for (;;) {
    const std::size_t brace = line.rfind('{');
    if (line.empty() || line.back() != '}' || brace == std::string::npos) break;
    std::string_view digits = std::string_view(line).substr(brace + 1, line.size() - brace - 2);
    if (!digits.empty() && digits.back() == '+') digits.remove_suffix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos ||
        digits.size() > 12) {
      break;
    }
    const std::uint64_t size = Number(digits);
    if (size > 2 * kMaxMessageBytes) {
      throw SoupError(connection_->Name() + ": the server announces " + std::to_string(size) +
                      " bytes in one piece: the session is given up");
    }
    response.line +=
        line.substr(0, brace) + "\x01" + std::to_string(response.literals.size()) + "\x02";
    if (size > kMaxMessageBytes) {
      // Read past to stay in step; a message that size has no place on the air.
      for (std::uint64_t left = size; left > 0;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, 1 << 20));
        (void)connection_->ReadExactly(piece);
        left -= piece;
      }
      response.oversize = true;
      response.literals.emplace_back();
    } else {
      response.literals.push_back(connection_->ReadExactly(static_cast<std::size_t>(size)));
    }
    line = connection_->ReadLine();
  }
  response.line += line;
  return response;
}

void ImapClient::ReadCapabilities(const std::string& text) {
  capabilities_.clear();
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t blank = text.find(' ', pos);
    const std::string word = Upper(text.substr(pos, blank - pos));
    if (!word.empty()) capabilities_.insert(word);
    if (blank == std::string::npos) break;
    pos = blank + 1;
  }
}

ImapClient::Response ImapClient::Command(const std::string& command, const Untagged& untagged) {
  const std::string tag = "t" + std::to_string(++next_tag_);
  connection_->Write(tag + " " + command + "\r\n");
  for (;;) {
    Response response = ReadResponse();
    if (IsTagged(response.line, tag)) return response;
    if (StartsWithIgnoringCase(response.line, "* CAPABILITY ")) {
      ReadCapabilities(response.line.substr(13));
    } else if (StartsWithIgnoringCase(response.line, "* BYE") &&
               !StartsWithIgnoringCase(command, "LOGOUT")) {
      throw SoupError(connection_->Name() +
                      ": the IMAP server ended the session: " + response.line);
    } else if (response.line.rfind('+', 0) == 0) {
      throw SoupError(connection_->Name() + ": the IMAP server asks for more than was sent");
    } else if (untagged) {
      untagged(response);
    }
  }
}

void ImapClient::Select() {
  if (selected_) return;
  std::uint64_t exists = 0;
  const Response answer = Command("SELECT INBOX", [&](const Response& response) {
    const std::string upper = Upper(response.line);
    if (const std::size_t at = upper.find("[UIDVALIDITY "); at != std::string::npos) {
      validity_ = std::to_string(Number(std::string_view(upper).substr(at + 13)));
    } else if (upper.size() > 9 && upper.compare(upper.size() - 7, 7, " EXISTS") == 0) {
      exists = Number(std::string_view(upper).substr(2));
    }
  });
  if (!TaggedOk(answer.line, "t" + std::to_string(next_tag_))) {
    throw SoupError(connection_->Name() + ": the INBOX cannot be opened: " + answer.line);
  }
  selected_ = true;
  exists_ = exists;
}

std::vector<WaitingMail> ImapClient::List() {
  Select();
  std::vector<WaitingMail> mails;
  if (exists_ == 0) return mails;  // UID FETCH 1:* is an error on some empty mailboxes
  const Response answer =
      Command("UID FETCH 1:* (UID RFC822.SIZE FLAGS BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])",
              [&](const Response& response) {
                WaitingMail mail;
                bool deleted = false;
                for (const auto& [name, value] : FetchItems(response)) {
                  if (name == "UID") mail.number = Number(value);
                  if (name == "RFC822.SIZE") mail.size = Number(value);
                  if (name == "FLAGS")
                    deleted = Upper(value).find("\\DELETED") != std::string::npos;
                  if (name.rfind("BODY[HEADER", 0) == 0) mail.fingerprint = MessageId(value);
                }
                // Another client's deletion waiting for its expunge is no mail to bring.
                if (mail.number == 0 || deleted) return;
                mail.uidl = validity_ + ":" + std::to_string(mail.number);
                if (!mail.fingerprint.empty()) mail.fingerprint += " " + std::to_string(mail.size);
                mails.push_back(std::move(mail));
              });
  if (!TaggedOk(answer.line, "t" + std::to_string(next_tag_))) {
    throw SoupError(connection_->Name() + ": the INBOX cannot be listed: " + answer.line);
  }
  std::sort(mails.begin(), mails.end(),
            [](const WaitingMail& a, const WaitingMail& b) { return a.number < b.number; });
  return mails;
}

void ImapClient::Retrieve(const WaitingMail& mail,
                          const std::function<void(std::string_view line)>& line) {
  std::optional<std::string> body;
  bool oversize = false;
  const Response answer = Command("UID FETCH " + std::to_string(mail.number) + " (BODY.PEEK[])",
                                  [&](const Response& response) {
                                    std::uint64_t uid = 0;
                                    std::optional<std::string> found;
                                    for (auto& [name, value] : FetchItems(response)) {
                                      if (name == "UID") uid = Number(value);
                                      if (name == "BODY[]") found = std::move(value);
                                    }
                                    if (uid != mail.number || !found) return;
                                    body = std::move(found);
                                    oversize = response.oversize;
                                  });
  if (!TaggedOk(answer.line, "t" + std::to_string(next_tag_))) {
    throw SoupError(connection_->Name() + ": mail UID " + std::to_string(mail.number) +
                    " could not be fetched: " + answer.line);
  }
  if (oversize) {
    throw MessageTooLarge(
        "the message is larger than " + std::to_string(kMaxMessageBytes >> 20) + " MiB", true);
  }
  if (!body) {
    throw SoupError(connection_->Name() + ": mail UID " + std::to_string(mail.number) +
                    " is no longer on the server");
  }
  std::string_view rest = *body;
  while (!rest.empty()) {
    const std::size_t lf = rest.find('\n');
    std::string_view piece = rest.substr(0, lf);
    if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
    line(piece);
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
  }
}

void ImapClient::Delete(const WaitingMail& mail) { doomed_.push_back(mail.number); }

void ImapClient::Finish() {
  std::sort(doomed_.begin(), doomed_.end());
  const bool by_uid = capabilities_.count("UIDPLUS") != 0;
  for (std::size_t i = 0; i < doomed_.size(); i += kUidsPerCommand) {
    const std::vector<std::uint64_t> part(
        doomed_.begin() + static_cast<std::ptrdiff_t>(i),
        doomed_.begin() +
            static_cast<std::ptrdiff_t>(std::min(doomed_.size(), i + kUidsPerCommand)));
    const std::string set = UidSet(part);
    for (const std::string& command : {"UID STORE " + set + " +FLAGS.SILENT (\\Deleted)",
                                       by_uid ? "UID EXPUNGE " + set : std::string("EXPUNGE")}) {
      const Response answer = Command(command);
      if (!TaggedOk(answer.line, "t" + std::to_string(next_tag_))) {
        throw SoupError(connection_->Name() +
                        ": the fetched mail could not be deleted: " + answer.line);
      }
    }
  }
  doomed_.clear();
  (void)Command("LOGOUT");
}

std::uint64_t ImapClient::Count() {
  std::uint64_t count = 0;
  const Response answer = Command("STATUS INBOX (MESSAGES)", [&](const Response& response) {
    const std::string upper = Upper(response.line);
    if (const std::size_t at = upper.find("(MESSAGES "); at != std::string::npos) {
      count = Number(std::string_view(upper).substr(at + 10));
    }
  });
  if (!TaggedOk(answer.line, "t" + std::to_string(next_tag_))) {
    throw SoupError(connection_->Name() + ": STATUS INBOX failed: " + answer.line);
  }
  return count;
}

}  // namespace tidewire::soup
