#include "inbound/mail_conversion.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/file_layer.h"
#include "base/text.h"
#include "formats/soup_download.h"
#include "inbound/air_rules.h"
#include "inbound/held_queue.h"
#include "inbound/import_file.h"
#include "inbound/plain_text.h"
#include "inbound/traffic_log.h"
#include "inbound/work_text.h"

namespace tidewire::inbound {

namespace {

constexpr std::string_view kMailCopy = "0000000.NOW";
constexpr std::string_view kWorkText = "WORKTXT.TMP";
constexpr std::size_t kSubjectLength = 79;

bool BeginsWith(std::string_view line, std::string_view upper_keyword) {
  return line.size() >= upper_keyword.size() &&
         EqualsIgnoringCase(line.substr(0, upper_keyword.size()), upper_keyword);
}

// A piece of a long line is never a separator.
bool IsSeparator(const TextReader& in, std::string_view line) {
  return !in.Continues() && formats::IsMailboxSeparator(line);
}

// What one e-mail's header lines said.
struct MailState {
  std::string FromLine;
  std::string ToLine;
  std::string SubjectText;
  bool InAddressHeader = false;
  bool InHeader = true;   // until the first empty line
  std::string MessageId;  // the header's, "" when it has none
  LineHash Hash;          // of all its lines
};

void ResetUsers(UserDatabase& users) {
  users.AnyUserMatched = false;
  for (int k = 1; k <= users.UserCount(); ++k) users[k].UserMatched = false;
}

void ReadLine(UserDatabase& users, MailState& mail, const std::string& line) {
  if (IsBlank(line)) mail.InAddressHeader = false;
  if (!line.empty() && line[0] == ' ' && mail.InAddressHeader) MatchUsers(users, line);
  if (BeginsWith(line, "TO:") || BeginsWith(line, "CC:") || BeginsWith(line, "APPARENTLY-TO:")) {
    if (BeginsWith(line, "TO:")) mail.ToLine = line;
    mail.InAddressHeader = true;
    MatchUsers(users, line);
  }
  if (BeginsWith(line, "FROM:")) {
    mail.FromLine = line;
    mail.InAddressHeader = false;
  }
  if (BeginsWith(line, "SUBJECT:")) {
    mail.SubjectText = line.size() > 9 ? line.substr(9, kSubjectLength) : std::string();
    mail.InAddressHeader = false;
  }
}

bool PatternMatches(std::string_view pattern, std::string_view text) {
  if (pattern == "*") return true;
  return !pattern.empty() && ContainsIgnoringCase(text, pattern);
}

std::string NonPersonalAddress(Station& station, const MailState& mail) {
  const GatewayConfig& config = station.config;
  std::string address = config.AT2;
  if (config.MailingListsLoaded) {
    for (const MailingList& list : config.MailingLists) {
      if (PatternMatches(list.FromPattern, mail.FromLine) &&
          PatternMatches(list.ToPattern, mail.ToLine) &&
          PatternMatches(list.SubjectPattern, mail.SubjectText)) {
        address = list.ListAddress;  // the last matching list wins
      }
    }
  }
  station.op.giveTurn();
  return address;
}

// With the flag file MIMETEXT: its first line, the station's character set.
struct PlainTextMode {
  bool on = false;
  std::string charset;
};

PlainTextMode ReadPlainTextMode(const Station& station) {
  PlainTextMode mode;
  const fs::path flag = station.File(kPlainTextFlag);
  mode.on = FileIsPresent(flag);
  if (mode.on) {
    TextReader in(flag);
    mode.charset = TrimTrailing(in.ReadLine());
    in.Close();
  }
  if (mode.charset.empty()) mode.charset = kDefaultStationCharset;
  return mode;
}

// The largest e-mail read as MIME; a larger one is copied as it stands, in bounded memory.
constexpr std::size_t kPlainTextLimit = 32u << 20;

// The e-mail's body as plain text, when plain-text mode is on and it is MIME that needs it.
std::optional<std::vector<std::string>> PlainBody(const PlainTextMode& mode, const WorkText& text) {
  if (!mode.on) return std::nullopt;
  std::string raw;
  WorkText::Reader work(text);
  while (!work.AtEnd() && raw.size() <= kPlainTextLimit) raw += work.ReadLine() + "\n";
  work.Close();
  if (raw.size() > kPlainTextLimit) return std::nullopt;
  return PlainTextBody(raw, mode.charset);
}

// A header line of the copy with its encoded words decoded, in plain-text mode.
std::string HeaderLine(const PlainTextMode& mode, const std::string& line) {
  if (!mode.on) return line;
  for (const char* name : {"From:", "To:", "Cc:", "Subject:"}) {
    if (line.size() >= std::strlen(name) &&
        EqualsIgnoringCase(line.substr(0, std::strlen(name)), name)) {
      return PlainHeaderText(line, mode.charset);
    }
  }
  return line;
}

// Copies the e-mail's lines behind the leading Received: lines; with short headers the header
// block is replaced by the From: and To: lines. In plain-text mode a MIME body is replaced by its
// plain text.
void WriteBodyCopy(ImportWriter& out, const Station& station, const WorkText& text,
                   const MailState& mail, const PlainTextMode& mode) {
  const std::optional<std::vector<std::string>> plain = PlainBody(mode, text);
  if (plain) {
    WorkText::Reader work(text);
    std::string line;
    while (!work.AtEnd() && (line = work.ReadLine()).starts_with("Received:")) {
    }
    if (station.config.ShortMailHeaders) {
      out.WriteBodyLine("");
      out.WriteBodyLine("*** " + HeaderLine(mode, mail.FromLine));
      out.WriteBodyLine("*** " + HeaderLine(mode, mail.ToLine));
    } else {
      while (!IsBlank(line)) {
        out.WriteBodyLine(HeaderLine(mode, line));
        if (work.AtEnd()) break;
        line = work.ReadLine();
      }
    }
    work.Close();
    out.WriteBodyLine("");
    for (const std::string& body_line : *plain) out.WriteBodyLine(body_line);
    return;
  }
  WorkText::Reader work(text);
  std::string line;
  bool have_line = false;
  while (!work.AtEnd()) {
    line = work.ReadLine();
    if (!line.starts_with("Received:")) {
      have_line = true;
      break;
    }
  }
  if (station.config.ShortMailHeaders) {
    out.WriteBodyLine("");
    out.WriteBodyLine("*** " + mail.FromLine);
    out.WriteBodyLine("*** " + mail.ToLine);
    out.WriteBodyLine("");
    while (have_line && !IsBlank(line) && !work.AtEnd()) line = work.ReadLine();
    have_line = false;
  }
  if (!have_line && work.AtEnd()) out.WriteBodyLine("");  // a copy from the end: one line
  if (have_line) out.WriteBodyLine(line);
  while (!work.AtEnd()) out.WriteBodyLine(work.ReadLine());
  work.Close();
}

void WriteMessage(ImportWriter& out, Station& station, const WorkText& text, const MailState& mail,
                  std::string_view address, const PlainTextMode& mode) {
  const std::string title =
      mode.on ? LeftCopy(PlainHeaderText(mail.SubjectText, mode.charset), kSubjectLength)
              : mail.SubjectText;
  BeginLongMessage(out, station.config, station.bid, station.Now(), address, station.config.AT,
                   title);
  WriteBodyCopy(out, station, text, mail, mode);
  WriteStandardTrailer(out, station.config, station.bid);
  ++station.counters.EmailToPacket;
}

// Writes the e-mail's packet messages; returns the addresses they went to.
std::string WriteMessagesOfMail(ImportWriter& out, Station& station, const WorkText& text,
                                const MailState& mail, const PlainTextMode& mode) {
  UserDatabase& users = station.users;
  // Mail for nobody registered goes to the list or AT2 also with an empty user table: thrown
  // away, it would be gone from the provider with no trace on the air.
  if (!users.AnyUserMatched) {
    const std::string address = NonPersonalAddress(station, mail);
    WriteMessage(out, station, text, mail, address, mode);
    return address;
  }
  std::string addresses;
  for (int k = 1; k <= users.UserCount(); ++k) {
    if (users[k].UserMatched) {
      const std::string address = PersonalAddress(users[k]);
      WriteMessage(out, station, text, mail, address, mode);
      addresses += (addresses.empty() ? "" : ", ") + address;
    }
  }
  return addresses;
}

std::string SubjectOf(const MailState& mail) { return TrimTrailing(mail.SubjectText); }

TrafficEntry Traffic(const Station& station, const WorkText& text, const MailState& mail,
                     std::string recipients, Verdict verdict) {
  return {station.Now(),
          "in",
          SenderAddress(mail.FromLine),
          std::move(recipients),
          SubjectOf(mail),
          mail.MessageId,
          text.size(),
          verdict};
}

// Whether the e-mail may go on the air: its size and the filter for every e-mail, the
// acceptlist for one that reaches no registered user.
Judgement Judge(const AirRules& rules, const Station& station, const WorkText& text,
                const MailState& mail) {
  Judgement judgement = rules.JudgeSizeAndFilter(station.work_dir, text.size(), RawOf(text));
  if (judgement.verdict == Verdict::kPassed && !station.users.AnyUserMatched &&
      !rules.Accepts(SenderAddress(mail.FromLine))) {
    judgement = {Verdict::kHeld, "sender not on ACCEPT.LST"};
  }
  return judgement;
}

// A held e-mail waits in HELD/, a dropped one too (as dropped): either way it is in the log.
void KeepOffTheAir(Station& station, const WorkText& text, const MailState& mail,
                   const Judgement& judgement) {
  HeldMessage info;
  info.sender = SenderAddress(mail.FromLine);
  info.subject = SubjectOf(mail);
  info.size = text.size();
  info.reason = judgement.reason;
  const int n = HoldMessage(station.work_dir, info, RawOf(text), station.Now());
  if (judgement.verdict == Verdict::kDropped) (void)DropHeld(station.work_dir, n);
  station.Status(" " + std::string(VerdictWord(judgement.verdict)) + " (" + judgement.reason +
                 "): e-mail from " + info.sender + ", HELD " + std::to_string(n));
  LogTraffic(station.work_dir, Traffic(station, text, mail, "", judgement.verdict));
}

// Reads one e-mail into the work text; returns whether a further separator was read.
bool ReadMail(TextReader& in, Station& station, WorkText& work, MailState& mail) {
  bool separator = false;
  while (!in.AtEnd()) {
    const std::string line = in.ReadLine();
    if (IsSeparator(in, line)) {
      separator = true;
      break;
    }
    work.Append(line);
    mail.Hash.Add(line);
    if (in.Continues()) continue;
    ReadLine(station.users, mail, line);
    if (mail.InHeader && IsBlank(line)) mail.InHeader = false;
    if (mail.InHeader && mail.MessageId.empty()) mail.MessageId = MessageIdOf(line);
  }
  work.Finish();
  return separator;
}

}  // namespace

std::string PersonalAddress(const UserRecord& user) {
  // " @ " with nothing behind it would make FBB read the next word as the route.
  if (IsBlank(user.HomeBBS)) return "SP " + user.UserCALL;
  return "SP " + user.UserCALL + " @ " + user.HomeBBS;
}

void MatchUsers(UserDatabase& users, std::string_view line) {
  const std::string upper = UpperCopy(line);
  for (int k = 1; k <= users.UserCount(); ++k) {
    UserRecord& user = users[k];
    const auto occurs = [&](const std::string& field) {
      return !field.empty() && upper.find(UpperCopy(field)) != std::string::npos;
    };
    if (occurs(user.RemailerAccount) || occurs(user.RealName)) {
      user.UserMatched = true;
      users.AnyUserMatched = true;
    }
  }
}

void ConvertMail(Station& station, MessageJournal* journal) {
  const PlainTextMode mode = ReadPlainTextMode(station);
  const AirRules rules = AirRules::Read(station.work_dir);
  ImportWriter out = OpenImportFile(station.work_dir, station.op, Announce::kAnnounce);
  station.Status(" Reading file: 0000000.NOW");
  TextReader in(station.File(kMailCopy), LongLines::kSplit);
  bool separator = false;
  while (!in.AtEnd() && !separator) {
    const std::string line = in.ReadLine();
    separator = IsSeparator(in, line);
  }
  while (separator && !in.AtEnd()) {
    MailState mail;
    WorkText work(station.File(kWorkText));
    ResetUsers(station.users);
    separator = ReadMail(in, station, work, mail);
    if (journal != nullptr &&
        journal->Repeated(MessageJournal::MailKey(mail.MessageId, mail.Hash.value()))) {
      station.Status(" Handed to FBB before, skipped: e-mail " + mail.MessageId);
      continue;
    }
    const Judgement judgement = Judge(rules, station, work, mail);
    if (judgement.verdict != Verdict::kPassed) {
      KeepOffTheAir(station, work, mail, judgement);
      continue;
    }
    std::string recipients = WriteMessagesOfMail(out, station, work, mail, mode);
    if (rules.Watched() || TrafficLogKept(station.work_dir)) {
      LogTraffic(station.work_dir,
                 Traffic(station, work, mail, std::move(recipients), Verdict::kPassed));
    }
  }
  in.Close();
  out.Close();
  station.Status(" Deleting file 0000000.NOW");
  DeleteFile(station.File(kMailCopy));
  station.Status(" Deleting file WORKTXT.TMP");
  // Only an e-mail too large to keep in memory made the working file.
  DeleteFileIfPresent(station.File(kWorkText));
}

void ConvertReleasedMail(ImportWriter& out, Station& station, const HeldMessage& held) {
  const PlainTextMode mode = ReadPlainTextMode(station);
  MailState mail;
  WorkText work(station.File(kWorkText));
  ResetUsers(station.users);
  TextReader in(ReleasedFile(station.work_dir, held.number), LongLines::kSplit);
  (void)ReadMail(in, station, work, mail);
  in.Close();
  std::string recipients = WriteMessagesOfMail(out, station, work, mail, mode);
  LogTraffic(station.work_dir,
             Traffic(station, work, mail, std::move(recipients), Verdict::kReleased));
  DeleteFileIfPresent(station.File(kWorkText));
}

}  // namespace tidewire::inbound
