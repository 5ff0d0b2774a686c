#include "support/fbb_import.h"

#include <set>
#include <utility>

#include "base/text.h"

namespace tidewire::testing {

namespace {

constexpr std::size_t kPiece = 79;

bool IsSendCommand(std::string_view text) {
  return !text.empty() && (text[0] == 'S' || text[0] == 's');
}

// The bulletin ID of a send command, upper-cased; empty when it has none.
std::string BidOf(std::string_view header) {
  std::size_t dollar = header.find('$');
  if (dollar == std::string_view::npos) return {};
  std::size_t end = header.find_first_of(" \t", dollar);
  std::string bid(
      header.substr(dollar + 1, end == std::string_view::npos ? end : end - dollar - 1));
  for (char& c : bid) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return bid;
}

std::string WithoutCr(std::string text) {
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

}  // namespace

std::vector<FbbRead> FbbReads(std::string_view bytes) {
  std::vector<FbbRead> reads;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t lf = bytes.find('\n', start);
    const std::size_t line_end = lf == std::string_view::npos ? bytes.size() : lf;
    if (line_end - start >= kPiece) {
      reads.push_back({std::string(bytes.substr(start, kPiece)), false});
      start += kPiece;
      continue;
    }
    reads.push_back({WithoutCr(std::string(bytes.substr(start, line_end - start))), true});
    start = line_end + 1;
  }
  return reads;
}

std::vector<std::string> FbbLines(std::string_view bytes) {
  std::vector<std::string> lines;
  for (FbbRead& read : FbbReads(bytes)) lines.push_back(std::move(read.text));
  return lines;
}

bool StartsWithCommand(std::string_view line, std::string_view word) {
  return line.size() >= 3 && line[0] == '/' && EqualsIgnoringCase(line.substr(1, 2), word);
}

std::vector<FbbMessage> ImportLikeFbb(std::string_view bytes, int& dropped) {
  const std::vector<FbbRead> reads = FbbReads(bytes);
  std::vector<FbbMessage> messages;
  std::set<std::string> bids;
  dropped = 0;
  std::size_t i = 0;
  while (i < reads.size()) {
    if (!IsSendCommand(reads[i].text)) {
      ++i;
      continue;
    }
    FbbMessage message{reads[i].text, i + 1 < reads.size() ? reads[i + 1].text : "", {}};
    i += 2;
    bool ended = false;
    bool aborted = false;
    bool joining = false;  // the last piece did not end its line
    for (; i < reads.size() && !ended; ++i) {
      const FbbRead& read = reads[i];
      if (StartsWithCommand(read.text, "EX") || StartsWithCommand(read.text, "AB")) {
        ended = true;
        aborted = StartsWithCommand(read.text, "AB");
        continue;
      }
      if (joining) {
        message.body.back() += read.text;
      } else {
        message.body.push_back(read.text);
      }
      joining = !read.ends_line;
      if (read.ends_line) message.body.back() = WithoutCr(message.body.back());
    }
    const std::string bid = BidOf(message.header);
    const bool repeated = !bid.empty() && !bids.insert(bid).second;
    if (!ended || aborted || repeated) {
      ++dropped;
      continue;
    }
    messages.push_back(std::move(message));
  }
  return messages;
}

std::vector<FbbMessage> MessagesAsWritten(std::string_view bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string_view::npos) end = bytes.size();
    lines.emplace_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  std::vector<FbbMessage> messages;
  std::size_t i = 0;
  while (i < lines.size()) {
    if (!IsSendCommand(lines[i])) {
      ++i;
      continue;
    }
    FbbMessage message{lines[i], i + 1 < lines.size() ? lines[i + 1] : "", {}};
    for (i += 2; i < lines.size() && lines[i] != "/EX" && lines[i] != "/AB"; ++i) {
      message.body.push_back(lines[i]);
    }
    const bool whole = i < lines.size() && lines[i] == "/EX";
    ++i;
    if (whole) messages.push_back(std::move(message));
  }
  return messages;
}

std::string FbbReadingFaults(std::string_view bytes) {
  int dropped = 0;
  const std::vector<FbbMessage> read = ImportLikeFbb(bytes, dropped);
  const std::vector<FbbMessage> written = MessagesAsWritten(bytes);
  std::string faults;
  // A message the writer gave up ("/AB") is dropped by FBB too, as meant.
  int given_up = 0;
  for (std::size_t p = bytes.find("\r\n/AB\r\n"); p != std::string_view::npos;
       p = bytes.find("\r\n/AB\r\n", p + 1)) {
    ++given_up;
  }
  if (dropped != given_up) {
    faults += std::to_string(dropped) + " dropped by FBB, " + std::to_string(given_up) +
              " given up by the writer\n";
  }
  if (read.size() != written.size()) {
    faults += std::to_string(written.size()) + " messages written, " + std::to_string(read.size()) +
              " read\n";
  }
  for (std::size_t k = 0; k < read.size() && k < written.size(); ++k) {
    const FbbMessage& r = read[k];
    const FbbMessage& w = written[k];
    if (r.header != w.header || r.title != w.title || r.body != w.body) {
      faults += "message " + std::to_string(k + 1) + " read otherwise: '" + r.header + "' / '" +
                r.title + "'\n";
    }
  }
  return faults;
}

}  // namespace tidewire::testing
