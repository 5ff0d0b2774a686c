#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewire::inbound {

// The flag file that turns MIME mail into plain text for the packet channel; its first line
// may name the station's character set (an iconv name), ISO-8859-1 when empty.
inline constexpr std::string_view kPlainTextFlag = "MIMETEXT";
inline constexpr std::string_view kDefaultStationCharset = "ISO-8859-1";

// The body of an e-mail as packet users should read it: the text/plain part decoded into
// CHARSET, an HTML-only mail rendered as text, each attachment one line naming it and its size.
// RAW is the whole e-mail, header and body, LF or CR LF lines. Nothing when the body needs no
// change (no MIME, or plain 7-bit text): the gateway then copies it as it stands.
[[nodiscard]] std::optional<std::vector<std::string>> PlainTextBody(std::string_view raw,
                                                                    const std::string& charset);

// A header value with its RFC 2047 encoded words decoded into CHARSET.
[[nodiscard]] std::string PlainHeaderText(std::string_view value, const std::string& charset);

// HTML as text lines of at most 79 characters (UTF-8 in, UTF-8 out).
[[nodiscard]] std::vector<std::string> RenderHtml(std::string_view html);

}  // namespace tidewire::inbound
