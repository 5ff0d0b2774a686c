#include "inbound/import_file.h"

#include <system_error>

#include "base/dates.h"
#include "base/errors.h"
#include "base/file_layer.h"
#include "base/text.h"

namespace tidewire::inbound {

namespace {

constexpr std::string_view kImportFileName = "MAIL.IN";
constexpr std::string_view kOddBanner = "V1.6 Beta  INTERNET <-> PACKET Radio Gateway by Varnel";
constexpr std::string_view kEvenBanner = "V1.6 Beta  INTERNET <-> PACKET Radio Gateway by QX1VZP";

}  // namespace

ImportWriter OpenImportFile(const fs::path& work_dir, Operator& op, Announce announce) {
  const fs::path path = work_dir / kImportFileName;
  // A MAIL.IN that is there but not usable (read-only, held by another program) is not
  // replaced: creating it anew would throw away the messages already in it.
  const bool present = UsableFileExists(path);
  if (announce == Announce::kAnnounce) {
    op.StatusLine(present ? " Writing to file: MAIL.IN" : " Creating file: MAIL.IN");
  }
  return ImportWriter(
      TextWriter(path, present ? TextWriter::Mode::kAppend : TextWriter::Mode::kCreate));
}

std::string BulletinId(const GatewayConfig& config, const BidCounter& bid) {
  return bid.BidText() + std::string(BidCounter::kSeparator) + config.BBSCall;
}

std::string RoutingLine(const GatewayConfig& config, const BidCounter& bid, std::time_t now) {
  return "R:" + RoutingDateStamp(now) + " @:" + config.HRoute + " #:" + bid.BidText() + " [" +
         config.QTH + "]" + " Tidelink $:" + BulletinId(config, bid);
}

std::string CurrentInfoLine(const GatewayConfig& config, const BidCounter& bid) {
  if (!bid.IsOdd() && !IsBlank(config.InfoLine2)) return config.InfoLine2;
  return config.InfoLine;
}

std::string VersionBanner(const BidCounter& bid) {
  return std::string(bid.IsOdd() ? kOddBanner : kEvenBanner);
}

std::string BannerLine(const BidCounter& bid) {
  return "** Tidewire " + VersionBanner(bid) + " **";
}

void WriteStandardTrailer(ImportWriter& writer, const GatewayConfig& config,
                          const BidCounter& bid) {
  writer.WriteBodyLine("");
  writer.WriteBodyLine("");
  if (!IsBlank(config.InfoLine)) writer.WriteBodyLine(CurrentInfoLine(config, bid));
  writer.WriteBodyLine(BannerLine(bid));
  writer.WriteBodyLine("");
  writer.WriteEnd();
}

std::string LongHeader(std::string_view address_part, std::string_view sender,
                       const GatewayConfig& config, const BidCounter& bid) {
  // FBB takes the word after "<" as the sender and drops the message when it is missing (or
  // takes the bulletin ID for it). So a blank sender falls back to AT, and with AT blank too
  // the "<" part is left out: FBB then gives its own call as the sender.
  std::string_view from = sender;
  if (IsBlank(from)) from = config.AT;
  std::string header(address_part);
  if (!IsBlank(from)) header.append(" < ").append(from);
  header.append(" $").append(BulletinId(config, bid));
  return header;
}

std::string ShortHeader(const UserRecord& user) {
  // " @ " with nothing behind it would make FBB read the next word as the route.
  if (IsBlank(user.HomeBBS)) return ShortHeader(user.UserCALL);
  return "SP " + user.UserCALL + " @ " + user.HomeBBS + " < TDWIRE";
}

std::string ShortHeader(std::string_view call) { return "SP " + std::string(call) + " < TDWIRE"; }

void BeginLongMessage(ImportWriter& writer, const GatewayConfig& config, BidCounter& bid,
                      std::time_t now, std::string_view address_part, std::string_view sender,
                      std::string_view title) {
  bid.NextBid();
  writer.WriteHeaderLine(LongHeader(address_part, sender, config, bid));
  writer.WriteTitleLine(title);
  writer.WriteBodyLine(RoutingLine(config, bid, now));
  writer.WriteBodyLine("");
}

}  // namespace tidewire::inbound
