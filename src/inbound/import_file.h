#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/shared_types.h"
#include "base/station.h"
#include "inbound/import_writer.h"

namespace tidewire::inbound {

// Whether opening MAIL.IN reports itself in the status list.
enum class Announce { kSilent, kAnnounce };

// Opens MAIL.IN in the working directory: appended when present, created otherwise.
[[nodiscard]] ImportWriter OpenImportFile(const std::filesystem::path& work_dir, Operator& op,
                                          Announce announce);

// "R:" line of a long-form message, for the bulletin-ID number last issued.
[[nodiscard]] std::string RoutingLine(const GatewayConfig& config, const BidCounter& bid,
                                      std::time_t now);

// InfoLine2 when the counter is even and InfoLine2 is not blank, otherwise InfoLine.
[[nodiscard]] std::string CurrentInfoLine(const GatewayConfig& config, const BidCounter& bid);

// The version text, chosen by the counter's parity.
[[nodiscard]] std::string VersionBanner(const BidCounter& bid);

// "** Tidewire " + VersionBanner + " **".
[[nodiscard]] std::string BannerLine(const BidCounter& bid);

// The last issued number, "_" and BBSCall.
[[nodiscard]] std::string BulletinId(const GatewayConfig& config, const BidCounter& bid);

// Two empty lines, the info line (unless InfoLine is blank), the banner line, an empty line
// and "/EX".
void WriteStandardTrailer(ImportWriter& writer, const GatewayConfig& config, const BidCounter& bid);

// address + " < " + sender + " $" + bulletin ID; a blank sender is replaced by AT.
[[nodiscard]] std::string LongHeader(std::string_view address_part, std::string_view sender,
                                     const GatewayConfig& config, const BidCounter& bid);

// "SP " + call + " @ " + HomeBBS + " < TDWIRE", for the gateway's answers to a registered user.
[[nodiscard]] std::string ShortHeader(const UserRecord& user);

// "SP " + call + " < TDWIRE", for a caller who is not registered.
[[nodiscard]] std::string ShortHeader(std::string_view call);

// Issues the next bulletin ID and writes header, title, routing line and the empty line after
// it; the caller adds the body and the trailer.
void BeginLongMessage(ImportWriter& writer, const GatewayConfig& config, BidCounter& bid,
                      std::time_t now, std::string_view address_part, std::string_view sender,
                      std::string_view title);

}  // namespace tidewire::inbound
