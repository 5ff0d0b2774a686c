#include "outbound/acknowledgements.h"

#include <string>

#include "base/dates.h"
#include "base/file_layer.h"
#include "config/flag_files.h"
#include "inbound/import_file.h"
#include "outbound/gateway_reply.h"

namespace tidewire::outbound {

namespace {

constexpr std::string_view kTitle = "*** DELIVERY ERROR ***";

// The end shared by the four messages: two empty lines, info and banner line, an empty line.
void WriteTrailer(inbound::ImportWriter& writer, const Station& station) {
  writer.WriteBodyLine("");
  writer.WriteBodyLine("");
  writer.WriteBodyLine(inbound::CurrentInfoLine(station.config, station.bid));
  writer.WriteBodyLine(inbound::BannerLine(station.bid));
  writer.WriteBodyLine("");
  writer.WriteEnd();
}

// The end of the two rejections of a registered sender's message: what it was, and what to do.
void WriteSendAgain(inbound::ImportWriter& out, const Station& station,
                    const ExportMessage& message) {
  out.WriteBodyLine("Title of message : " + message.Title);
  out.WriteBodyLine("Source of original message    : - below -");
  out.WriteBodyLine(message.RouteLine);
  out.WriteBodyLine("");
  out.WriteBodyLine("You must send the message to the Tidewire again.");
  WriteTrailer(out, station);
}

}  // namespace

void WriteAcknowledgement(Station& station, const ExportMessage& message,
                          std::string_view address) {
  const UserRecord& user = station.users[station.CurrentUser];
  GatewayReply reply(station.work_dir, station.op, inbound::ShortHeader(user),
                     "*** ACK - MESSAGE ***");
  inbound::ImportWriter& out = reply.writer();
  out.WriteBodyLine("");
  out.WriteBodyLine("Your message was processed by the Internet <> Packet Radio Gateway.");
  out.WriteBodyLine("");
  out.WriteBodyLine("Subject of message            : " + message.Title);
  out.WriteBodyLine("Email/newsgroup address found : " + std::string(address));
  out.WriteBodyLine("Processing date/time          : " + MailDateText(station.Now()));
  out.WriteBodyLine("Source of original message    : - below -");
  out.WriteBodyLine(message.RouteLine);
  WriteTrailer(out, station);
  reply.Close();
}

void WriteAddressLineRejection(Station& station, const ExportMessage& message) {
  GatewayReply reply(station.work_dir, station.op,
                     ReplyHeaderForSender(station.users[station.CurrentUser], message.Sender),
                     kTitle);
  inbound::ImportWriter& out = reply.writer();
  out.WriteBodyLine("");
  out.WriteBodyLine("The Tidewire Software has detected an error in one of your messages");
  out.WriteBodyLine("#TO:   <- This line was not found in the message. Check for syntax errors");
  WriteSendAgain(out, station, message);
  reply.Close();
  ++station.counters.BadMessages;
}

void WriteWrongAddressRejection(Station& station, const ExportMessage& message) {
  const std::string& bbs = station.config.BBSCall;
  const bool pseudo_call = FileIsPresent(station.File(config::kPseudoCallFlag));
  GatewayReply reply(station.work_dir, station.op,
                     ReplyHeaderForSender(station.users[station.CurrentUser], message.Sender),
                     kTitle);
  inbound::ImportWriter& out = reply.writer();
  out.WriteBodyLine("");
  out.WriteBodyLine("One of your messages could not be processed by the Tidewire");
  out.WriteBodyLine(std::string("The message was not send to: ") +
                    (pseudo_call ? "1TWIRE" : "INET") + " @ " + bbs + " or SERVER @ " + bbs);
  WriteSendAgain(out, station, message);
  reply.Close();
}

void WriteUnregisteredRejection(Station& station, const ExportMessage& message) {
  GatewayReply reply(station.work_dir, station.op, inbound::ShortHeader(message.Sender), kTitle);
  inbound::ImportWriter& out = reply.writer();
  out.WriteBodyLine("");
  out.WriteBodyLine("The Tidewire Software has detected that the call: " + message.Sender + " is");
  out.WriteBodyLine("UNREGISTERED. Please send a message to your Tidewire provider on how");
  out.WriteBodyLine("to subscribe. ");
  out.WriteBodyLine("Title of failed message : " + message.Title);
  out.WriteBodyLine("Source of original message    : - below -");
  out.WriteBodyLine(message.RouteLine);
  out.WriteBodyLine("");
  out.WriteBodyLine("");
  out.WriteBodyLine(inbound::CurrentInfoLine(station.config, station.bid));
  out.WriteBodyLine(inbound::BannerLine(station.bid));
  out.WriteBodyLine("");
  out.WriteBodyLine("");
  out.WriteEnd();
  reply.Close();
}

bool UnregisteredSenderIsAnswered(const ExportMessage& message) {
  constexpr std::size_t kLongestFbbCall = 6;
  bool fbb_call = !message.Sender.empty() && message.Sender.size() <= kLongestFbbCall;
  for (const char c : message.Sender) fbb_call = fbb_call && static_cast<unsigned char>(c) > ' ';
  return fbb_call && message.Title.find("MLIST:") == std::string::npos;
}

}  // namespace tidewire::outbound
