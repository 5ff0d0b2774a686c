#include "outbound/reply_file.h"

#include <cstdio>

#include "base/dates.h"
#include "base/text.h"
#include "inbound/air_rules.h"
#include "inbound/traffic_log.h"
#include "outbound/reply_packet.h"

namespace tidewire::outbound {

namespace {

constexpr std::string_view kEncodedStart = "=?ISO-8859-1?Q?";
constexpr std::size_t kEncodedPayload = 75 - 15 - 2;  // RFC 2047: a word is at most 75 long

bool IsCode3(const GatewayConfig& config) { return config.ConfigurationCode == "3"; }

std::string AfterFirstAt(std::string_view text) {
  const std::size_t at = text.find('@');
  return std::string(at == std::string_view::npos ? text : text.substr(at + 1));
}

// RFC 5322 atext and the dot: what a Message-ID's left part may hold.
bool IsMessageIdChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte <= 32 || byte >= 127) return false;
  return std::string_view("()<>[]:;@\\,\"").find(c) == std::string_view::npos;
}

// One character of an encoded word in a phrase (RFC 2047, section 5, rule 3).
std::string EncodedChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (c == ' ') return "_";
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
      std::string_view("!*+-/").find(c) != std::string_view::npos) {
    return std::string(1, c);
  }
  char hex[4];
  std::snprintf(hex, sizeof hex, "=%02X", byte);
  return hex;
}

std::string EncodedWords(std::string_view text) {
  std::string result;
  std::string word;
  for (const char c : text) {
    const std::string piece = EncodedChar(c);
    if (word.size() + piece.size() > kEncodedPayload) {
      result.append(result.empty() ? "" : " ").append(kEncodedStart).append(word).append("?=");
      word.clear();
    }
    word += piece;
  }
  result.append(result.empty() ? "" : " ").append(kEncodedStart).append(word).append("?=");
  return result;
}

// The address without the blanks around it, as the "#TO:" line leaves them.
std::string Trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return {};
  return std::string(text.substr(start, text.find_last_not_of(' ') - start + 1));
}

}  // namespace

std::string GatewayDomain(const GatewayConfig& config) { return AfterFirstAt(config.EmailAccount); }

std::string ReplyAccount(const UserRecord& user, const GatewayConfig& config) {
  return user.RemailerAccount.empty() ? config.EmailAccount : user.RemailerAccount;
}

std::string FromAccount(const UserRecord& user, const GatewayConfig& config) {
  if (!user.RemailerAccount.empty() && !config.ConfigurationCodeMode2) {
    return user.RemailerAccount;
  }
  if (IsCode3(config)) return config.EmailAccount;
  return "seereplyto@" + GatewayDomain(config);
}

std::string MessageId(std::string_view letters, const UserRecord& user,
                      const GatewayConfig& config) {
  const std::string_view account = user.RemailerAccount;
  const std::size_t at = account.find('@');
  std::string id(letters);
  // A blank or bracket in the account would cut the Message-ID short: such bytes are left out.
  if (at != std::string_view::npos) {
    for (const char c : account.substr(0, at)) {
      if (IsMessageIdChar(c)) id.push_back(c);
    }
  }
  id += IsCode3(config) ? "@" + GatewayDomain(config) : std::string("@tdwire");
  return id;
}

std::string HeaderText(std::string_view text) {
  std::string value(text);
  for (char& c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) c = ' ';
  }
  return value;
}

std::string DisplayName(std::string_view real_name) {
  const std::string name = HeaderText(real_name);
  for (const char c : name) {
    if (static_cast<unsigned char>(c) > 127) return EncodedWords(name);
  }
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

bool IsMailAddress(std::string_view address) { return address.find('@') != std::string_view::npos; }

std::string ReplyHeader(std::string_view letters, std::string_view address, std::string_view title,
                        const UserRecord& user, const GatewayConfig& config, std::time_t now) {
  const std::string name = DisplayName(user.RealName);
  std::string header;
  header.append("Message-ID: <").append(HeaderText(MessageId(letters, user, config))).append(">\n");
  header.append("Reply-To: ").append(name).append(" <");
  header.append(HeaderText(ReplyAccount(user, config))).append(">\n");
  header.append("From: ").append(name).append(" <");
  header.append(HeaderText(FromAccount(user, config))).append(">\n");
  header.append(IsMailAddress(address) ? "To: " : "Newsgroups: ");
  header.append(HeaderText(address)).append("\n");
  header.append("Subject: ").append(HeaderText(title)).append("\n");
  header.append("Date: ").append(MailDateText(now)).append("\n");
  header.append("Organization: Brackwater Gateway Solutions\n");
  header.append("X-Mailer: Tidewire V1.6 Beta by Varnel\n");
  header.append("\n");
  return header;
}

ReplyFileWriter::ReplyFileWriter(Station& station, MessageIdSource& ids)
    : station_(station),
      ids_(ids),
      index_(station.File(kIndexFile), TextWriter::Mode::kCreate),
      log_traffic_(inbound::AirRules::Read(station.work_dir).Watched() ||
                   inbound::TrafficLogKept(station.work_dir)) {}

void ReplyFileWriter::WriteMessage(const ExportMessage& message, TextReader& export_file) {
  const std::string letters = ids_.NextLetters();
  ++n_;
  ++station_.counters.PacketToInternet;
  const UserRecord& user = station_.users[station_.CurrentUser];
  const std::string name = std::to_string(n_) + (IsMailAddress(message.ToField) ? ".M01" : ".M02");
  station_.Status(" Creating file: " + name);
  const fs::path path = station_.File(name);
  TextWriter out(path, TextWriter::Mode::kCreate);
  out.Write(
      ReplyHeader(letters, message.ToField, message.Title, user, station_.config, station_.Now()));
  while (!export_file.AtEnd()) {
    const std::string line = export_file.ReadLine();
    if (EndsMessage(export_file, line)) break;
    out.Write(line);
    out.Write("\n");
  }
  if (station_.config.ConfigurationCodeMode2) {
    out.Write("\n\nPlease send email to: ");
    out.Write(HeaderText(user.RemailerAccount));
    out.Write("\n");
  }
  out.Close();
  index_.WriteLine(name);
  const std::int64_t size = FileSizeOf(path);
  index_.WriteLine(std::to_string(size));
  // A user wrote to this address: its answers may reach the air (ACCEPT.LST, when kept).
  const std::string to = Trimmed(message.ToField);
  if (IsMailAddress(to)) {
    inbound::AddCorrespondent(station_.work_dir, to, user.UserCALL, station_.Now());
  }
  if (log_traffic_) {
    inbound::LogTraffic(station_.work_dir,
                        {station_.Now(), "out", user.UserCALL, to, message.Title,
                         "<" + MessageId(letters, user, station_.config) + ">",
                         static_cast<std::uint64_t>(size), inbound::Verdict::kPassed});
  }
}

void ReplyFileWriter::CloseIndex() { index_.Close(); }

}  // namespace tidewire::outbound
