#include "outbound/server_requests.h"

#include <initializer_list>
#include <string>

#include "base/operator.h"
#include "config/flag_files.h"
#include "inbound/import_file.h"
#include "outbound/acknowledgements.h"
#include "outbound/gateway_reply.h"

namespace tidewire::outbound {

namespace {

constexpr std::string_view kTitle = "*** SERVER MESSAGE ***";
constexpr std::string_view kPleaseInform = "       Please inform your Tidewire provider";
constexpr std::string_view kBroadcastFile = "bmes.txt";
constexpr std::string_view kManualFile = "TWIRE.MAN";
constexpr std::string_view kInfoFile = "INFO.TDW";

bool HoldsAny(std::string_view title, std::initializer_list<std::string_view> forms) {
  for (std::string_view form : forms) {
    if (title.find(form) != std::string_view::npos) return true;
  }
  return false;
}

void WriteInfoAndBanner(inbound::ImportWriter& out, const Station& station) {
  out.WriteBodyLine(inbound::CurrentInfoLine(station.config, station.bid));
  out.WriteBodyLine(inbound::BannerLine(station.bid));
}

void AnswerUserInfo(Station& station, const ExportMessage& message) {
  const UserRecord& user = station.users[station.CurrentUser];
  GatewayReply reply(station.work_dir, station.op,
                     ReplyHeaderForSender(station.users[station.CurrentUser], message.Sender),
                     kTitle);
  inbound::ImportWriter& out = reply.writer();
  out.WriteBodyLine("");
  out.WriteBodyLine("Your USERINFO for the Tidewire:");
  out.WriteBodyLine("");
  out.WriteBodyLine("PacketCall ..... :" + user.UserCALL);
  out.WriteBodyLine("HomeBBS ........ :" + user.HomeBBS);
  out.WriteBodyLine("Real name ...... :" + user.RealName);
  out.WriteBodyLine("Remailer account :" + user.RemailerAccount);
  for (int i = 0; i < 3; ++i) out.WriteBodyLine("");
  WriteInfoAndBanner(out, station);
  out.WriteEnd();
  reply.Close();
}

// The sender's text goes to bmes.txt for the next broadcast; the end line is read, not kept.
void StoreBroadcast(Station& station, ExportMessage& message, TextReader& export_file) {
  const fs::path path = station.File(kBroadcastFile);
  TextWriter out(path,
                 UsableFileExists(path) ? TextWriter::Mode::kAppend : TextWriter::Mode::kCreate);
  out.WriteLine("");
  out.WriteLine("SENDER : " + message.Sender + " @ " + station.users[station.CurrentUser].HomeBBS);
  out.WriteLine(std::string(58, '-'));
  out.WriteLine("");
  while (!export_file.AtEnd()) {
    const std::string line = export_file.ReadLine();
    if (EndsMessage(export_file, line)) break;
    out.WriteLine(line);
  }
  out.Close();
  message.BodyTaken = true;
}

void AnswerNewsList(Station& station, const ExportMessage& message) {
  GatewayReply reply(station.work_dir, station.op,
                     ReplyHeaderForSender(station.users[station.CurrentUser], message.Sender),
                     kTitle);
  inbound::ImportWriter& out = reply.writer();
  out.WriteBodyLine("");
  out.WriteBodyLine("Currently the next newsgroups a converted to Packet:");
  out.WriteBodyLine("");
  const fs::path newsrc = station.File(config::kNewsrcFile);
  if (FileIsPresent(newsrc)) {
    TextReader in(newsrc, LongLines::kSplit);
    do {
      out.WriteBodyLine(in.ReadLine());
    } while (!in.AtEnd());
    in.Close();
  } else {
    out.WriteBodyLine("ERROR: Newsgroup-configfile (.NEWSRC) not found!");
    out.WriteBodyLine(kPleaseInform);
  }
  out.WriteBodyLine("");
  out.WriteBodyLine("");
  out.WriteBodyLine(" Available mailinglists (optional) Send a message to your tideWire");
  out.WriteBodyLine(" sysop if you want to subscribe to any.");
  out.WriteBodyLine("");
  for (const MailingList& list : station.config.MailingLists)
    out.WriteBodyLine("  " + list.ListName);
  for (int i = 0; i < 3; ++i) out.WriteBodyLine("");
  WriteInfoAndBanner(out, station);
  out.WriteEnd();
  reply.Close();
}

// The manual and the help reply: a file's text, or the error line naming it.
void AnswerWithFile(Station& station, const ExportMessage& message, std::string_view intro,
                    std::string_view file, std::string_view missing) {
  GatewayReply reply(station.work_dir, station.op,
                     ReplyHeaderForSender(station.users[station.CurrentUser], message.Sender),
                     kTitle);
  inbound::ImportWriter& out = reply.writer();
  out.WriteBodyLine("");
  out.WriteBodyLine(intro);
  out.WriteBodyLine("");
  const fs::path path = station.File(file);
  if (FileIsPresent(path)) {
    TextReader in(path, LongLines::kSplit);
    while (!in.AtEnd()) out.WriteBodyLine(in.ReadLine());
    in.Close();
  } else {
    out.WriteBodyLine(missing);
    out.WriteBodyLine(kPleaseInform);
  }
  out.WriteBodyLine("");
  out.WriteEnd();
  reply.Close();
}

void CarryOut(Station& station, ExportMessage& message, TextReader& export_file,
              const ServerRequests& requests) {
  if (requests.user_info) {
    AnswerUserInfo(station, message);
    ++station.counters.ServerMessages;
  }
  if (requests.broadcast) {
    StoreBroadcast(station, message, export_file);
    ++station.counters.ServerMessages;
  }
  if (requests.news_list) {
    AnswerNewsList(station, message);
    ++station.counters.ServerMessages;
  }
  if (requests.manual) {
    AnswerWithFile(station, message, "Your request for the Tidewire manual:", kManualFile,
                   "ERROR: Tidewire Manual (TWIRE.MAN) not found!");
    ++station.counters.ServerMessages;
  }
  if (requests.help) {
    AnswerWithFile(station, message, "Your info/help-request:", kInfoFile,
                   "ERROR: Tidewire INFO-File (INFO.TDW) not found!");
    ++station.counters.ServerMessages;
  }
}

}  // namespace

ServerRequests RequestsInTitle(std::string_view title) {
  ServerRequests found;
  found.user_info = HoldsAny(title, {"USERINFO", "userinfo", "Userinfo"});
  found.broadcast = HoldsAny(title, {"BROADCAST", "BroadCast", "broadcast"});
  found.news_list = HoldsAny(title, {"NEWSLIST", "newslist", "Newslist"});
  found.manual = HoldsAny(title, {"MANUAL", "manual", "Manual"});
  found.help = !found.user_info && HoldsAny(title, {"HELP", "help", "?", "info", "INFO"});
  return found;
}

void AnswerServerMessage(Station& station, ExportMessage& message, TextReader& export_file) {
  message.BodyTaken = false;
  const int found = message.Sender.empty() ? 0 : station.users.FindUserByCall(message.Sender);
  if (found == 0) {
    if (UnregisteredSenderIsAnswered(message)) WriteUnregisteredRejection(station, message);
    ReadPastMessage(export_file);
    return;
  }
  station.CurrentUser = found;
  if (!station.AutoGoMode) InformationBox(station.op, "found valid user with SERVER-message");
  CarryOut(station, message, export_file, RequestsInTitle(message.Title));
  if (!message.BodyTaken) ReadPastMessage(export_file);
}

}  // namespace tidewire::outbound
