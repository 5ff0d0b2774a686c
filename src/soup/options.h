#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "soup/servers.h"

namespace tidewire::soup {

enum class Mode { kReceive, kSend, kCatchUp, kCheck };

// souper's command line: options first, then HOST USER PASS.
struct Options {
  Mode mode = Mode::kReceive;
  bool read_only = false;                      // -r: mail stays on the server
  std::uint64_t keep_unread = 0;               // -c N
  std::uint64_t max_news_bytes = 2048 * 1024;  // -k N kilobytes; 0 is no limit
  bool get_mail = true;                        // -m turns it off
  bool get_news = true;                        // -n turns it off
  std::string home;                            // -h, else $HOME, else "."
  std::string newsrc;                          // -N, else HOME/.newsrc
  std::string host;
  Credentials login;
  bool help = false;  // --help: the usage, nothing else
};

// Reads ARGV; on success the password (and a password in a URL) is overwritten in ARGV at
// once, so that ps does not show it. Nothing and an ERROR text when the line is wrong.
[[nodiscard]] std::optional<Options> ParseCommandLine(int argc, char** argv, std::string& error);

extern const char* const kUsage;

// The file in the working directory a running client holds locked (flock), so that neither a
// second client nor the gateway's next pass works on the station's files beside it.
inline constexpr const char* kStationLock = "tidewire-soup.lck";

// The environment variable that carries the password when the command line has none.
extern const char* const kPasswordVariable;

}  // namespace tidewire::soup
