#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "soup/servers.h"

namespace tidewire::soup {

// One header field of a message, unfolded, with the bytes it spans (continuation lines
// included) so that it can be cut out.
struct HeaderField {
  std::string name;
  std::string value;
  std::size_t begin = 0;
  std::size_t end = 0;
};

// The fields of the header section (up to the first empty line); LF or CR LF line ends.
[[nodiscard]] std::vector<HeaderField> HeaderFields(std::string_view message);

// The addresses of an address-list field value (RFC 5322: display names, comments, groups,
// quoted local parts), each as "local@domain".
[[nodiscard]] std::vector<std::string> AddressesIn(std::string_view value);

// The SMTP envelope of a message: the sender from From: (Sender: when From: names several),
// the recipients from Resent-To/-Cc/-Bcc when it is a resend, else To:, Cc: and Bcc:.
// Throws SoupError when it names no sender or no recipient.
[[nodiscard]] Envelope EnvelopeOf(std::string_view message);

// The message as SMTP may carry it (RFC 5321): LF line ends alone (a CR on its own becomes a
// line end: a receiver that ends lines at CR would otherwise see lines nobody wrote), and,
// when a body line is longer than 998 octets, the body in quoted-printable with the header
// fields that say so, so that no line is cut and nothing of it is lost.
[[nodiscard]] std::string ForSmtp(std::string_view message);

// The message without its Bcc: fields (and Resent-Bcc:), which must not travel.
[[nodiscard]] std::string WithoutBcc(std::string_view message);

}  // namespace tidewire::soup
