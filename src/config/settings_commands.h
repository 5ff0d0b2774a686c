#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/operator.h"

namespace tidewire::config {

// The captions of the two header buttons; both have 22 characters.
inline constexpr std::string_view kShortHeadersEnabled = "SHORT HEADERS ENABLED ";
inline constexpr std::string_view kShortHeadersDisabled = "SHORT HEADERS DISABLED";

// The caption of a header button for its flag.
[[nodiscard]] std::string_view HeaderButtonCaption(bool short_headers);

// The swap button's caption: the newsgroup address form for AT ("NEWSGP@INET", "INET@NEWSGP").
[[nodiscard]] std::string SwapButtonCaption(std::string_view at, bool swap_news_address);

// The list editor's example address for the short name HACK: "(HACK @ INET)" or "(INET @ HACK)".
[[nodiscard]] std::string NewsExampleAddress(std::string_view at, bool swap_news_address);

// "Advanced": the three questions, always all three, each switching its flag file (ACK, LCOPY,
// WATCH.DOG); a new WATCH.DOG is opened in the text editor for its minutes.
void AskAdvancedQuestions(const std::filesystem::path& work_dir, Operator& op);

// "Mark all messages as READ": the flag file A_READ for the next fetch, and the box saying so.
void MarkAllMessagesRead(const std::filesystem::path& work_dir, Operator& op);

// "NewsGroups": .NEWSRC and TWIRE.PTI, created empty where none is.
void EnsureNewsListFiles(const std::filesystem::path& work_dir);

}  // namespace tidewire::config
