#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tidewire {

// One mailing list of ML.CFG.
struct MailingList {
  std::string ListName;
  std::string FromPattern;
  std::string ToPattern;
  std::string SubjectPattern;
  std::string ListAddress;
};

// All settings of the gateway, as read from TWIRE.CFG and its companion files.
struct GatewayConfig {
  static constexpr std::size_t kMaxNewsDestinations = 50;
  static constexpr std::size_t kMaxMailingLists = 31;

  // Lines 1 to 15 of TWIRE.CFG.
  std::string MailinDIR;
  std::string HRoute;
  std::string QTH;
  std::string BBSCall;
  std::string AT2;
  std::string Remailer;
  std::string InfoLine;
  std::string InfoLine2;
  std::string AT;
  std::string SMTPmailserver;
  std::string POP3mailserver;
  std::string NewsServer;
  std::string UserID;
  std::string PassWord;
  std::string EmailAccount;

  // Lines 16 to 21.
  bool ShortNewsHeaders = false;
  bool ShortMailHeaders = false;
  std::string AfterXMessageStr;
  std::int32_t AfterXMessage = 0;
  bool SwapNewsAddress = false;
  std::string ConfigurationCode;
  bool ConfigurationCodeMode2 = false;  // once set, kept until the program ends
  bool UniversalFrom = false;

  // TWIRE.PTI: entry n is the destination of SOUP message file n.
  std::vector<std::string> NewsDestinations;
  // ML.CFG.
  std::vector<MailingList> MailingLists;
  bool MailingListsLoaded = false;
  // WATCH.DOG.
  bool WatchdogEnabled = false;
  std::int32_t WatchdogMinutes = 0;

  // Destination of SOUP message file n (from 1); empty beyond the entries read.
  [[nodiscard]] std::string_view NewsDestination(std::size_t n) const;
  [[nodiscard]] std::size_t MailingListCount() const { return MailingLists.size(); }
};

// One registered packet user.
struct UserRecord {
  std::string UserCALL;
  std::string HomeBBS;
  std::string RealName;
  std::string RemailerAccount;
  bool UserMatched = false;  // set by the mail conversion
};

// The registered users, numbered from 1.
class UserDatabase {
 public:
  static constexpr std::size_t kMaxUsers = 100;

  [[nodiscard]] int UserCount() const { return static_cast<int>(records_.size()); }
  // Record k, 1 <= k <= UserCount().
  [[nodiscard]] UserRecord& operator[](int k) {
    return records_.at(static_cast<std::size_t>(k - 1));
  }
  [[nodiscard]] const UserRecord& operator[](int k) const {
    return records_.at(static_cast<std::size_t>(k - 1));
  }
  // The number of the last record whose call equals `call` after upper-casing, or 0.
  [[nodiscard]] int FindUserByCall(std::string_view call) const;

  void Clear() { records_.clear(); }
  void Add(UserRecord record) { records_.push_back(std::move(record)); }

  bool AnyUserMatched = false;

 private:
  std::vector<UserRecord> records_;
};

// The last bulletin-ID number issued, 1 to 99989 and then 1 again.
class BidCounter {
 public:
  static constexpr std::int32_t kLast = 99989;
  // Between the number and BBSCall in a bulletin ID. FBB gives every message that comes without
  // an ID the ID "<its message number>_<its call>" and drops any later message with an ID it
  // has seen, so "_" would lose each gateway message whose number FBB had used for one of its
  // own. No ID FBB makes holds "-".
  static constexpr std::string_view kSeparator = "-";

  [[nodiscard]] std::int32_t value() const { return value_; }
  // The decimal text of the number last issued by NextBid.
  [[nodiscard]] const std::string& BidText() const { return text_; }
  [[nodiscard]] bool IsOdd() const { return value_ % 2 != 0; }

  void Set(std::int32_t value) { value_ = value; }
  // Issues the next number.
  void NextBid();

 private:
  std::int32_t value_ = 0;
  std::string text_;
};

// The five per-pass counters of the log.
struct RunCounters {
  std::int32_t InetToPacket = 0;
  std::int32_t EmailToPacket = 0;
  std::int32_t PacketToInternet = 0;
  std::int32_t ServerMessages = 0;
  std::int32_t BadMessages = 0;

  void Reset() { *this = RunCounters{}; }
};

}  // namespace tidewire
