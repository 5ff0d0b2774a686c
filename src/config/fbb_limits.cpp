#include "config/fbb_limits.h"

#include <algorithm>
#include <utility>

#include "base/text.h"

namespace tidewire::config {

namespace {

constexpr std::string_view kCutEffect = "FBB takes the rest of the header line as the title";
constexpr std::string_view kServerSender = "SERVER";
constexpr std::size_t kOtherNameLength = 5;  // "OTHER", the name of a file without an entry

// What is wrong with one setting; it becomes a single warning line.
class Finding {
 public:
  explicit Finding(std::string subject) : subject_(std::move(subject)) {}

  // A reason for which FBB drops the message.
  void Drop(std::string reason) {
    reasons_.push_back(std::move(reason));
    drops_ = true;
  }

  void CheckHeader(std::size_t length) {
    if (length <= kMaxHeaderLength) return;
    reasons_.push_back("makes its header line " + std::to_string(length) +
                       " characters long, over " + std::to_string(kMaxHeaderLength));
  }

  void AddTo(std::vector<std::string>& out, std::string_view drop_effect) const {
    if (reasons_.empty()) return;
    std::string line = "WARNING: " + subject_;
    for (std::size_t i = 0; i < reasons_.size(); ++i) {
      line += i == 0 ? " " : " and ";
      line += reasons_[i];
    }
    line += ": ";
    line += drops_ ? drop_effect : kCutEffect;
    out.push_back(std::move(line));
  }

 private:
  std::string subject_;
  std::vector<std::string> reasons_;
  bool drops_ = false;
};

bool IsBlankChar(char c) { return c == ' ' || c == '\t'; }

std::size_t SkipBlanks(std::string_view text, std::size_t i) {
  while (i < text.size() && IsBlankChar(text[i])) ++i;
  return i;
}

// The to-field and route of an address with its send command ("SB EMAIL@AREA",
// "sp hamlist @ qx3vzp"), cut into words the way FBB reads a header line.
struct AddressFields {
  std::string_view to;
  std::string_view route;
};

AddressFields SplitAddress(std::string_view address) {
  AddressFields fields;
  std::size_t i = SkipBlanks(address, 0);
  while (i < address.size() && !IsBlankChar(address[i])) ++i;  // the send command
  i = SkipBlanks(address, i);
  const std::size_t to_begin = i;
  while (i < address.size() && !IsBlankChar(address[i]) && address[i] != '@') ++i;
  fields.to = address.substr(to_begin, i - to_begin);
  i = SkipBlanks(address, i);
  if (i < address.size() && address[i] == '@') {
    i = SkipBlanks(address, i + 1);
    const std::size_t route_begin = i;
    while (i < address.size() && !IsBlankChar(address[i])) ++i;
    fields.route = address.substr(route_begin, i - route_begin);
  }
  return fields;
}

void CheckRoute(std::string_view what, std::string_view route, Finding& finding) {
  const std::string name(what);
  if (route.size() > kMaxRouteLength) {
    finding.Drop("has a " + name + " longer than " + std::to_string(kMaxRouteLength) +
                 " characters");
  }
  std::size_t begin = 0;
  while (begin <= route.size()) {
    const std::size_t dot = std::min(route.find('.', begin), route.size());
    const std::string_view part = route.substr(begin, dot - begin);
    if (part.size() > kMaxFieldLength) {
      finding.Drop("has a " + name + " part (" + std::string(part) + ") longer than " +
                   std::to_string(kMaxFieldLength) + " characters");
      break;
    }
    begin = dot + 1;
  }
  if (!route.empty() && route.back() == '.') finding.Drop("has a " + name + " ending in a dot");
}

// FBB takes a line for a send command only when its first word is S, SP, SB or ST; any other
// line between messages is passed over, and the message with it ("EMAIL @ WW").
bool BeginsWithSendCommand(std::string_view address) {
  const std::size_t begin = SkipBlanks(address, 0);
  std::size_t end = begin;
  while (end < address.size() && !IsBlankChar(address[end])) ++end;
  const std::string word = UpperCopy(address.substr(begin, end - begin));
  return word == "S" || word == "SP" || word == "SB" || word == "ST";
}

void CheckAddress(std::vector<std::string>& out, std::string subject, std::string_view address,
                  std::size_t header_length) {
  Finding finding(std::move(subject));
  if (!BeginsWithSendCommand(address)) finding.Drop("does not begin with SP or SB");
  const AddressFields fields = SplitAddress(address);
  if (fields.to.size() > kMaxFieldLength) {
    finding.Drop("has a to-field (" + std::string(fields.to) + ") longer than " +
                 std::to_string(kMaxFieldLength) + " characters");
  }
  CheckRoute("route", fields.route, finding);
  finding.CheckHeader(header_length);
  finding.AddTo(out, "FBB drops every message sent to it");
}

std::string LongestBid(const GatewayConfig& config) {
  return std::string(kLongestBidNumber) + std::string(BidCounter::kSeparator) + config.BBSCall;
}

// Length of " < " + sender + " $" + bulletin ID, the end of every long-form header line.
std::size_t TailLength(std::size_t sender_length, std::size_t bid_length) {
  return 3 + sender_length + 2 + bid_length;
}

// A news sender is a pseudo call of up to six characters, or AT with the universal sender.
std::size_t NewsSenderLength(const GatewayConfig& config) {
  return config.UniversalFrom ? config.AT.size() : kMaxFieldLength;
}

// The longest news header of a short newsgroup name, or of the info message; both depend on
// AT and BBSCall only (the swapped forms have the same length).
std::size_t LongestFixedHeader(const GatewayConfig& config, std::size_t bid_length) {
  std::size_t name = kOtherNameLength;
  for (const std::string& entry : config.NewsDestinations) {
    if (entry.find('@') == std::string::npos) {
      name = std::max(name, std::min(entry.size(), kMaxFieldLength));
    }
  }
  const std::size_t news =
      3 + name + 3 + config.AT.size() + TailLength(NewsSenderLength(config), bid_length);
  const std::size_t info = std::string_view("SB INFO @ ").size() + config.AT.size() +
                           std::string_view(" < SERVER $").size() + bid_length;
  return std::max(news, info);
}

// The longer of the two header lines a user receives: converted e-mail and broadcast.
std::size_t LongestUserHeader(const UserRecord& user, const GatewayConfig& config,
                              std::size_t bid_length) {
  const std::size_t sender = std::max(config.AT.size(), kServerSender.size());
  return 3 + user.UserCALL.size() + 3 + user.HomeBBS.size() + TailLength(sender, bid_length);
}

enum class UserChecks { kHeaderOnly, kFieldsAndHeader };

std::vector<std::string> UserWarnings(const UserDatabase& users, const GatewayConfig& config,
                                      UserChecks checks) {
  std::vector<std::string> out;
  const std::size_t bid_length = LongestBid(config).size();
  for (int k = 1; k <= users.UserCount(); ++k) {
    const UserRecord& user = users[k];
    Finding finding("USER.DAT user " + std::to_string(k) + " (" + user.UserCALL + ")");
    if (checks == UserChecks::kFieldsAndHeader) {
      if (user.UserCALL.size() > kMaxFieldLength) {
        finding.Drop("has a call longer than " + std::to_string(kMaxFieldLength) + " characters");
      }
      CheckRoute("home BBS", user.HomeBBS, finding);
    }
    finding.CheckHeader(LongestUserHeader(user, config, bid_length));
    finding.AddTo(out, "FBB drops every message to this user");
  }
  return out;
}

}  // namespace

std::vector<std::string> ConfigLimitWarnings(const GatewayConfig& config) {
  std::vector<std::string> out;
  const std::string bid = LongestBid(config);

  Finding bbs_call("BBS Call " + config.BBSCall);
  if (bid.size() > kMaxBidLength) {
    bbs_call.Drop("is longer than " + std::to_string(kMaxBidLength - kLongestBidNumber.size() - 1) +
                  " characters");
  }
  Finding at(config.AT.empty() ? "AT" : "AT " + config.AT);
  if (config.AT.empty()) {
    at.Drop("is empty");
  } else if (config.AT.size() > kMaxFieldLength) {
    at.Drop("is longer than " + std::to_string(kMaxFieldLength) + " characters");
  }
  // Only an overlong AT or BBSCall can stretch these headers; the warning goes to the culprit.
  (bid.size() > kMaxBidLength ? bbs_call : at).CheckHeader(LongestFixedHeader(config, bid.size()));
  bbs_call.AddTo(out, "FBB drops every message");
  at.AddTo(out, "FBB drops every converted e-mail, whose sender field it is");

  const std::size_t mail_tail = TailLength(config.AT.size(), bid.size());
  CheckAddress(out, "EMAIL to (AT2) \"" + config.AT2 + "\"", config.AT2,
               config.AT2.size() + mail_tail);
  for (std::size_t k = 0; k < config.MailingLists.size(); ++k) {
    const std::string& address = config.MailingLists[k].ListAddress;
    CheckAddress(out,
                 "ML.CFG mailing list " + std::to_string(k + 1) + " address \"" + address + "\"",
                 address, address.size() + mail_tail);
  }
  const std::size_t news_tail = TailLength(NewsSenderLength(config), bid.size());
  for (std::size_t n = 0; n < config.NewsDestinations.size(); ++n) {
    const std::string& entry = config.NewsDestinations[n];
    if (entry.find('@') == std::string::npos) continue;
    CheckAddress(out, "TWIRE.PTI line " + std::to_string(n + 1) + " \"" + entry + "\"", entry,
                 entry.size() + news_tail);
  }
  return out;
}

std::vector<std::string> ConfigDropFaults(const GatewayConfig& config) {
  std::vector<std::string> faults = ConfigLimitWarnings(config);
  std::erase_if(faults, [](const std::string& line) { return line.ends_with(kCutEffect); });
  return faults;
}

std::vector<std::string> UserLimitWarnings(const UserDatabase& users, const GatewayConfig& config) {
  return UserWarnings(users, config, UserChecks::kFieldsAndHeader);
}

std::vector<std::string> UserHeaderWarnings(const UserDatabase& users,
                                            const GatewayConfig& config) {
  return UserWarnings(users, config, UserChecks::kHeaderOnly);
}

void ReportLimitWarnings(Operator& op, const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings) op.StatusLine(warning);
}

}  // namespace tidewire::config
