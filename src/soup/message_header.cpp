#include "soup/message_header.h"

#include <strings.h>

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
    address = mailbox.substr(open + 1, close == std::string::npos ? std::string::npos
                                                                   : close - open - 1);
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
    std::string_view line = message.substr(pos, (lf == std::string_view::npos ? message.size() : lf) - pos);
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

}  // namespace tidewire::soup
