#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/shared_types.h"
#include "base/station.h"

namespace tidewire::config {

// FBB drops a message silently when one of its header fields breaks these limits.
inline constexpr std::size_t kMaxFieldLength = 6;    // to-field, sender, each route part
inline constexpr std::size_t kMaxRouteLength = 31;   // the whole "@" route
inline constexpr std::size_t kMaxBidLength = 12;     // "99989_" + BBSCall
inline constexpr std::size_t kMaxHeaderLength = 77;  // longer header lines spill into the title
inline constexpr std::string_view kLongestBidNumber = "99989";

// One warning text per setting of the configuration that makes FBB drop or cut messages:
// BBSCall, AT, AT2, each mailing-list address and each TWIRE.PTI entry holding "@".
[[nodiscard]] std::vector<std::string> ConfigLimitWarnings(const GatewayConfig& config);

// The warnings of ConfigLimitWarnings for settings that make FBB drop messages (not those that
// only make it cut a header): a pass does not convert anything while there are any.
[[nodiscard]] std::vector<std::string> ConfigDropFaults(const GatewayConfig& config);

// One warning text per user whose call, home BBS or header line breaks FBB's limits.
[[nodiscard]] std::vector<std::string> UserLimitWarnings(const UserDatabase& users,
                                                         const GatewayConfig& config);

// Only the header-length part of UserLimitWarnings, for checks made once the settings are known.
[[nodiscard]] std::vector<std::string> UserHeaderWarnings(const UserDatabase& users,
                                                          const GatewayConfig& config);

// Writes each warning as a status line; a status line never waits for the operator.
void ReportLimitWarnings(Operator& op, const std::vector<std::string>& warnings);

}  // namespace tidewire::config
