#include "inbound/mail_conversion.h"

#include <string>

#include "base/file_layer.h"
#include "base/text.h"
#include "inbound/import_file.h"

namespace tidewire::inbound {

namespace {

constexpr std::string_view kMailCopy = "0000000.NOW";
constexpr std::string_view kWorkText = "WORKTXT.TMP";
constexpr std::size_t kSubjectLength = 79;

bool BeginsWith(std::string_view line, std::string_view upper_keyword) {
  return line.size() >= upper_keyword.size() &&
         UpperCopy(line.substr(0, upper_keyword.size())) == upper_keyword;
}

bool IsSeparator(std::string_view line) { return BeginsWith(line, "FROM POPMAIL"); }

// What one e-mail's header lines said.
struct MailState {
  std::string FromLine;
  std::string ToLine;
  std::string SubjectText;
  bool InAddressHeader = false;
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

// Copies the e-mail's lines behind the leading Received: lines; with short headers the header
// block is replaced by the From: and To: lines.
void WriteBodyCopy(ImportWriter& out, const Station& station, const MailState& mail) {
  TextReader work(station.File(kWorkText));
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

void WriteMessage(ImportWriter& out, Station& station, const MailState& mail,
                  std::string_view address) {
  BeginLongMessage(out, station, address, station.config.AT, mail.SubjectText);
  WriteBodyCopy(out, station, mail);
  WriteStandardTrailer(out, station);
  ++station.counters.EmailToPacket;
}

void WriteMessagesOfMail(ImportWriter& out, Station& station, const MailState& mail) {
  UserDatabase& users = station.users;
  bool non_personal_sent = false;
  for (int k = 1; k <= users.UserCount(); ++k) {
    if (users.AnyUserMatched && users[k].UserMatched) {
      WriteMessage(out, station, mail, PersonalAddress(users[k]));
    } else if (!users.AnyUserMatched && !non_personal_sent) {
      non_personal_sent = true;
      WriteMessage(out, station, mail, NonPersonalAddress(station, mail));
    }
  }
}

// Reads one e-mail into WORKTXT.TMP; returns whether a further separator was read.
bool ReadMail(TextReader& in, Station& station, MailState& mail) {
  TextWriter work(station.File(kWorkText), TextWriter::Mode::kCreate);
  bool separator = false;
  while (!in.AtEnd()) {
    const std::string line = in.ReadLine();
    if (IsSeparator(line)) {
      separator = true;
      break;
    }
    work.WriteLine(line);
    ReadLine(station.users, mail, line);
  }
  work.Close();
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

void ConvertMail(Station& station) {
  ImportWriter out = OpenImportFile(station, Announce::kAnnounce);
  station.Status(" Reading file: 0000000.NOW");
  TextReader in(station.File(kMailCopy));
  bool separator = false;
  while (!in.AtEnd() && !separator) separator = IsSeparator(in.ReadLine());
  while (separator && !in.AtEnd()) {
    MailState mail;
    ResetUsers(station.users);
    separator = ReadMail(in, station, mail);
    WriteMessagesOfMail(out, station, mail);
  }
  in.Close();
  out.Close();
  station.Status(" Deleting file 0000000.NOW");
  DeleteFile(station.File(kMailCopy));
  station.Status(" Deleting file WORKTXT.TMP");
  // A mail file without any separator never made the working file.
  DeleteFileIfPresent(station.File(kWorkText));
}

}  // namespace tidewire::inbound
