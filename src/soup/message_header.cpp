#include "soup/message_header.h"

#include <strings.h>

#include <cctype>

#include "soup/soup_error.h"

namespace tidewire::soup {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  const std::size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

// Splits at commas outside quotes, comments and angle brackets; a group's "name:" and ";" go.
std::vector<std::string> Mailboxes(std::string_view value) {
  std::vector<std::string> parts;
  std::string current;
  int comment = 0;
  bool quoted = false;
  bool angle = false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quoted) {
      current += c;
      if (c == '\\' && i + 1 < value.size()) {
        current += value[++i];
      } else if (c == '"') {
        quoted = false;
      }
      continue;
    }
    if (comment > 0) {
      if (c == '\\') ++i;
      if (c == '(') ++comment;
      if (c == ')') --comment;
      continue;
    }
    switch (c) {
      case '"':
        quoted = true;
        current += c;
        break;
      case '(':
        comment = 1;
        break;
      case '<':
        angle = true;
        current += c;
        break;
      case '>':
        angle = false;
        current += c;
        break;
      case ':':
        if (angle) {
          current += c;
        } else {
          current.clear();  // "group name:" is no address
        }
        break;
      case ',':
      case ';':
        if (angle) {
          current += c;
        } else {
          parts.push_back(current);
          current.clear();
        }
        break;
      default:
        current += c;
    }
  }
  parts.push_back(current);
  return parts;
}

std::string AddressOf(const std::string& mailbox) {
  std::string address;
  const std::size_t open = mailbox.find('<');
  if (open != std::string::npos) {
    const std::size_t close = mailbox.find('>', open);
    address =
        mailbox.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    // An obsolete source route "@a,@b:user@host" keeps only the address.
    if (!address.empty() && address.front() == '@') {
      const std::size_t colon = address.find(':');
      address = colon == std::string::npos ? "" : address.substr(colon + 1);
    }
  } else {
    address = mailbox;
  }
  address = Trimmed(address);
  // Folding and stray blanks inside an address without quotes carry no meaning.
  if (address.find('"') == std::string::npos) {
    std::string packed;
    for (const char c : address) {
      if (c != ' ' && c != '\t') packed += c;
    }
    address = packed;
  }
  return address;
}

}  // namespace

std::vector<HeaderField> HeaderFields(std::string_view message) {
  std::vector<HeaderField> fields;
  std::size_t pos = 0;
  while (pos < message.size()) {
    std::size_t lf = message.find('\n', pos);
    std::size_t next = lf == std::string_view::npos ? message.size() : lf + 1;
    std::string_view line =
        message.substr(pos, (lf == std::string_view::npos ? message.size() : lf) - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;  // the end of the header section
    if ((line.front() == ' ' || line.front() == '\t') && !fields.empty()) {
      fields.back().value += " " + Trimmed(line);
      fields.back().end = next;
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
      HeaderField field;
      field.name = Trimmed(line.substr(0, colon));
      field.value = Trimmed(line.substr(colon + 1));
      field.begin = pos;
      field.end = next;
      fields.push_back(std::move(field));
    }
    pos = next;
  }
  return fields;
}

std::vector<std::string> AddressesIn(std::string_view value) {
  std::vector<std::string> addresses;
  for (const std::string& mailbox : Mailboxes(value)) {
    const std::string address = AddressOf(mailbox);
    // A control character or bracket would end the SMTP command early: no address.
    bool sound = !address.empty();
    for (const char c : address) {
      const auto byte = static_cast<unsigned char>(c);
      sound = sound && byte >= 32 && byte != 127 && c != '<' && c != '>';
    }
    if (sound) addresses.push_back(address);
  }
  return addresses;
}

Envelope EnvelopeOf(std::string_view message) {
  const std::vector<HeaderField> fields = HeaderFields(message);
  Envelope envelope;
  std::vector<std::string> from;
  std::vector<std::string> sender;
  bool resent = false;
  for (const HeaderField& field : fields) {
    if (SameName(field.name, "Resent-To") || SameName(field.name, "Resent-Cc") ||
        SameName(field.name, "Resent-Bcc")) {
      resent = true;
    }
  }
  for (const HeaderField& field : fields) {
    const bool wanted = resent ? SameName(field.name, "Resent-To") ||
                                     SameName(field.name, "Resent-Cc") ||
                                     SameName(field.name, "Resent-Bcc")
                               : SameName(field.name, "To") || SameName(field.name, "Cc") ||
                                     SameName(field.name, "Bcc");
    if (wanted) {
      for (std::string& address : AddressesIn(field.value)) {
        bool known = false;
        for (const std::string& seen : envelope.recipients) known = known || seen == address;
        if (!known) envelope.recipients.push_back(std::move(address));
      }
    }
    if (SameName(field.name, "From") && from.empty()) from = AddressesIn(field.value);
    if (SameName(field.name, "Sender") && sender.empty()) sender = AddressesIn(field.value);
  }
  if (from.size() > 1 && !sender.empty()) from = sender;
  if (from.empty()) throw SoupError("the message has no From: address");
  if (envelope.recipients.empty()) throw SoupError("the message names no recipient");
  envelope.sender = from.front();
  return envelope;
}

std::string WithoutBcc(std::string_view message) {
  std::string out;
  std::size_t kept = 0;
  for (const HeaderField& field : HeaderFields(message)) {
    if (SameName(field.name, "Bcc") || SameName(field.name, "Resent-Bcc")) {
      out.append(message.substr(kept, field.begin - kept));
      kept = field.end;
    }
  }
  out.append(message.substr(kept));
  return out;
}

namespace {

constexpr std::size_t kLongestSmtpLine = 998;
constexpr std::size_t kLongestQpLine = 76;

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80         ? 1
                               : (c >> 5) == 6  ? 2
                               : (c >> 4) == 14 ? 3
                               : (c >> 3) == 30 ? 4
                                                : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += length;
  }
  return true;
}

// One line in quoted-printable (RFC 2045, 6.7), with soft breaks so no line exceeds 76.
void AppendQuotedPrintable(std::string_view line, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t column = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    const bool last = i + 1 == line.size();
    std::string piece;
    if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) {
      piece.push_back(static_cast<char>(c));
    } else {
      piece = {'=', kHex[c >> 4], kHex[c & 15]};
    }
    if (column + piece.size() > kLongestQpLine - 1) {
      out += "=\n";
      column = 0;
    }
    out += piece;
    column += piece.size();
  }
  out += '\n';
}

}  // namespace

std::string ForSmtp(std::string_view message) {
  std::string text;
  text.reserve(message.size());
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\r') {
      if (i + 1 < message.size() && message[i + 1] == '\n') continue;  // CR LF: the LF follows
      text += '\n';
    } else {
      text += message[i];
    }
  }
  const std::size_t split = text.starts_with("\n") ? 0 : text.find("\n\n");
  if (split == std::string::npos) return text;
  const std::size_t body_start = split == 0 ? 1 : split + 2;
  bool long_line = false;
  for (std::size_t start = body_start; start < text.size() && !long_line;) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    long_line = end - start > kLongestSmtpLine;
    start = end + 1;
  }
  if (!long_line) return text;
  const std::string_view body = std::string_view(text).substr(body_start);
  std::string header = text.substr(0, split == 0 ? 0 : split + 1);
  bool has_type = false;
  bool has_version = false;
  for (const HeaderField& field : HeaderFields(header)) {
    std::string name = field.name;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    has_type = has_type || name == "content-type";
    has_version = has_version || name == "mime-version";
  }
  // The old transfer encoding goes (the body is recoded); every other field stays as it was.
  const std::vector<HeaderField> fields = HeaderFields(header);
  for (auto field = fields.rbegin(); field != fields.rend(); ++field) {
    std::string name = field->name;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "content-transfer-encoding") header.erase(field->begin, field->end - field->begin);
  }
  if (!has_version) header += "MIME-Version: 1.0\n";
  if (!has_type) {
    bool eight_bit = false;
    for (const char c : body) eight_bit = eight_bit || (static_cast<unsigned char>(c) & 0x80) != 0;
    header += std::string("Content-Type: text/plain; charset=") +
              (!eight_bit          ? "us-ascii"
               : IsValidUtf8(body) ? "utf-8"
                                   : "iso-8859-1") +
              "\n";
  }
  header += "Content-Transfer-Encoding: quoted-printable\n";
  std::string out = header + "\n";
  for (std::size_t start = 0; start < body.size();) {
    std::size_t end = body.find('\n', start);
    const bool ended = end != std::string_view::npos;
    if (!ended) end = body.size();
    AppendQuotedPrintable(body.substr(start, end - start), out);
    start = end + 1;
    if (!ended) out.pop_back();  // the body did not end with a line end
  }
  return out;
}

}  // namespace tidewire::soup
