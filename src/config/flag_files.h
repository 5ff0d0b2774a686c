#pragma once

#include <string_view>

namespace tidewire::config {

// Flag files: only their presence counts (WATCH.DOG also holds the watchdog minutes).
inline constexpr std::string_view kSoundFlag = "sound";
inline constexpr std::string_view kAutoGoFlag = "autogo";
inline constexpr std::string_view kAckFlag = "ACK";
inline constexpr std::string_view kLeaveCopyFlag = "LCOPY";
inline constexpr std::string_view kMarkReadFlag = "A_READ";
inline constexpr std::string_view kWatchdogFile = "WATCH.DOG";
inline constexpr std::string_view kPseudoCallFlag = "1twire";

// Settings files.
inline constexpr std::string_view kConfigFile = "TWIRE.CFG";
inline constexpr std::string_view kNewsDestinationsFile = "TWIRE.PTI";
inline constexpr std::string_view kMailingListsFile = "ML.CFG";
inline constexpr std::string_view kNewsrcFile = ".NEWSRC";
inline constexpr std::string_view kUserFile = "USER.DAT";

}  // namespace tidewire::config
