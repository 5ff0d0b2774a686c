#include "interop/interop_station.h"

#include <cstdio>
#include <sstream>

namespace tidewire::interop {

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// FBB clears a route that is its own call or its own call and the start of its h-route.
std::string StoredRoute(const std::string& route) {
  const std::string own = kFbbHRoute;
  if (route.empty()) return "";
  if (route == kFbbCall) return "";
  if (own.rfind(route, 0) == 0 && own[route.size()] == '.') return "";
  if (route == own) return "";
  return route;
}

// FBB strips trailing blanks and control characters (up to 32, and 127) first and then keeps
// 60 characters, so a blank that ends up last stays.
std::string StoredTitle(const std::string& title) {
  std::string stripped = title;
  while (!stripped.empty() &&
         (static_cast<unsigned char>(stripped.back()) <= 32 || stripped.back() == 127)) {
    stripped.pop_back();
  }
  return stripped.substr(0, 60);
}

// Bytes outside printable ASCII as \xNN.
std::string Escaped(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u > 126) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      shown += hex;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string Describe(const FbbRecord& r) {
  std::ostringstream out;
  out << "#" << r.number << " " << (r.type ? r.type : '-') << (r.status ? r.status : '-') << " to='"
      << Escaped(r.to) << "' @='" << Escaped(r.route) << "' from='" << Escaped(r.from) << "' bid='"
      << Escaped(r.bid) << "' title='" << Escaped(r.title) << "'";
  return out.str();
}

// The same message: the same bulletin ID, or for a message without one the same address.
bool SameKey(const FbbRecord& expected, const FbbRecord& stored) {
  if (!expected.bid.empty()) return expected.bid == stored.bid;
  return expected.to == stored.to && expected.from == stored.from;
}

// Where two texts part, shown as escaped bytes.
std::string FirstDifference(const std::string& written, const std::string& stored) {
  std::size_t at = 0;
  while (at < written.size() && at < stored.size() && written[at] == stored[at]) ++at;
  return "; from byte " + std::to_string(at) + " written '" + Escaped(written.substr(at, 40)) +
         "' stored '" + Escaped(stored.substr(at, 40)) + "'";
}

bool SameFields(const FbbRecord& a, const FbbRecord& b) {
  return a.type == b.type && a.to == b.to && a.route == b.route && a.from == b.from &&
         (a.bid.empty() || a.bid == b.bid) && a.title == b.title;
}

}  // namespace

std::vector<WrittenMessage> ReadWrittenMessages(const std::string& bytes, std::string& faults) {
  std::vector<WrittenMessage> messages;
  const std::vector<std::string> lines = CrLfLines(bytes);
  std::size_t i = 0;
  while (i < lines.size()) {
    if (lines[i].rfind("S", 0) != 0) {
      faults += "line " + std::to_string(i + 1) + " outside a message: " + lines[i] + "\n";
      ++i;
      continue;
    }
    WrittenMessage message{lines[i], i + 1 < lines.size() ? lines[i + 1] : "", {}};
    i += 2;
    while (i < lines.size() && lines[i] != "/EX") message.body.push_back(lines[i++]);
    if (i == lines.size()) faults += "message without end line: " + message.header + "\n";
    ++i;
    messages.push_back(std::move(message));
  }
  return messages;
}

FbbRecord ExpectedRecord(const WrittenMessage& message) {
  FbbRecord record;
  const std::vector<std::string> words = Words(message.header);
  record.type = words.empty() ? '?' : (Upper(words[0]) == "SB" ? 'B' : 'P');
  std::string route;
  for (std::size_t k = 1; k < words.size(); ++k) {
    const std::string& w = words[k];
    if (w == "@" && k + 1 < words.size()) {
      route = words[++k];
    } else if (w == "<" && k + 1 < words.size()) {
      record.from = words[++k];
    } else if (w[0] == '$') {
      record.bid = w.substr(1);
    } else if (k == 1) {
      const std::size_t at = w.find('@');
      record.to = w.substr(0, at);
      if (at != std::string::npos) route = w.substr(at + 1);
    }
  }
  record.to = Upper(record.to);
  record.route = StoredRoute(Upper(route));
  record.from = record.from.empty() ? kFbbCall : Upper(record.from);
  record.bid = Upper(record.bid);
  record.title = StoredTitle(message.title);
  return record;
}

::testing::AssertionResult StoredAsWritten(const std::vector<WrittenMessage>& written,
                                           const std::vector<FbbRecord>& stored,
                                           const FbbInstance& fbb) {
  std::ostringstream faults;
  int dropped = 0;
  int changed = 0;
  int injected = 0;
  auto note = [&faults](int count, const std::string& text) {
    if (count <= 10) faults << text << "\n";
  };
  std::size_t s = 0;
  for (std::size_t k = 0; k < written.size(); ++k) {
    const FbbRecord expected = ExpectedRecord(written[k]);
    std::size_t j = s;
    while (j < stored.size() && j < s + 8 && !SameKey(expected, stored[j])) ++j;
    if (j == stored.size() || j == s + 8) {
      note(++dropped, "dropped: message " + std::to_string(k + 1) + " '" + written[k].header +
                          "' / '" + written[k].title + "'");
      continue;
    }
    for (; s < j; ++s) note(++injected, "injected: " + Describe(stored[s]));
    std::string body;
    for (const std::string& line : written[k].body) body += line + "\r\n";
    const std::string text = fbb.Text(stored[s].number);
    if (!SameFields(expected, stored[s])) {
      note(++changed, "changed: message " + std::to_string(k + 1) + " '" + written[k].header +
                          "' / '" + written[k].title + "'\n  expected " + Describe(expected) +
                          "\n  stored   " + Describe(stored[s]));
    } else if (text != body) {
      note(++changed, "body changed: message " + std::to_string(k + 1) + " '" + written[k].header +
                          "': " + std::to_string(written[k].body.size()) + " lines written, " +
                          std::to_string(fbb.BodyLineCount(stored[s].number)) + " stored" +
                          FirstDifference(body, text));
    }
    ++s;
  }
  for (; s < stored.size(); ++s) note(++injected, "injected: " + Describe(stored[s]));
  if (dropped + changed + injected == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << written.size() << " messages written, " << stored.size() << " stored: " << dropped
         << " dropped, " << changed << " changed, " << injected << " injected\n"
         << faults.str();
}

}  // namespace tidewire::interop
