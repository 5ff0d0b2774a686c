#pragma once

#include <string_view>

#include "base/file_layer.h"
#include "base/station.h"
#include "outbound/export_message.h"

namespace tidewire::outbound {

// The requests a server message's title names; one title may name several.
struct ServerRequests {
  bool user_info = false;
  bool broadcast = false;
  bool news_list = false;
  bool manual = false;
  bool help = false;

  bool operator==(const ServerRequests&) const = default;
};

// The requests found in a title, by the letter-case forms the gateway knows.
[[nodiscard]] ServerRequests RequestsInTitle(std::string_view title);

// Answers a message whose to-field holds "SERVER", and reads it through its end line. A sender
// who is not registered gets only the unregistered rejection: the answers would show another
// user's data.
void AnswerServerMessage(Station& station, ExportMessage& message, TextReader& export_file);

}  // namespace tidewire::outbound
