// MIME mail as plain text for the packet channel (the flag file MIMETEXT).
#include "inbound/plain_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tidewire::inbound {
namespace {

using Lines = std::vector<std::string>;

const std::string kHead = "From: a@example.org\nTo: b@example.org\nSubject: s\nMIME-Version: 1.0\n";

struct PlainCase {
  const char* name;
  std::string mail;
  std::optional<Lines> body;
};

TEST(PlainText, BodiesAsPacketUsersReadThem) {
  const PlainCase cases[] = {
      {"no MIME at all: copied as it stands", "From: a@x\nSubject: s\n\nHello =C3=A4\n",
       std::nullopt},
      {"plain 7-bit text: copied as it stands",
       kHead + "Content-Type: text/plain; charset=us-ascii\n\nHello\n", std::nullopt},
      {"quoted-printable Latin-1 stays Latin-1",
       kHead + "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: "
               "quoted-printable\n\nGr=FC=DFe, a long line that=\n continues\n",
       Lines{"Gr\xfc\xdf"
             "e, a long line that continues"}},
      {"base64 UTF-8 becomes Latin-1",
       kHead + "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64\n\n"
               "w4RwZmVsIHVuZCBCaXJuZW4K\n",
       Lines{"\xc4pfel und Birnen"}},
      {"a character Latin-1 lacks is spelt out or marked",
       kHead + "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n"
               "\xe2\x82\xac 5\n",
       Lines{"EUR 5"}},
      {"alternative: the plain part only",
       kHead +
           "Content-Type: multipart/alternative; boundary=XX\n\n--XX\nContent-Type: text/plain\n\n"
           "plain words\n--XX\nContent-Type: text/html\n\n<p>html words</p>\n--XX--\n",
       Lines{"plain words"}},
      {"HTML only: rendered",
       kHead +
           "Content-Type: text/html; charset=utf-8\n\n<html><head><style>p{}</style></head><body>"
           "<h1>Title</h1><p>One  <b>bold</b>\nline<br>next</p><ul><li>first</li><li>second"
           "</li></ul><p><a href=\"http://example.org/x\">link</a> <img alt=\"logo\"></p>"
           "<script>x()</script></body></html>\n",
       Lines{"Title", "", "One bold line", "next", "", "* first", "* second", "",
             "link <http://example.org/x> [logo]"}},
      {"attachments become one line each",
       kHead +
           "Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\nSee "
           "attached.\n--B\nContent-Type: application/pdf; name=plan.pdf\nContent-Disposition: "
           "attachment; filename=plan.pdf\nContent-Transfer-Encoding: base64\n\nJVBERi0xLjQK\n"
           "--B\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n\niVBORw==\n--B--\n",
       Lines{"See attached.", "", "[Attachment: plan.pdf (application/pdf, 9 bytes)]", "",
             "[Attachment: unnamed (image/png, 4 bytes)]"}},
      {"a broken multipart loses no text",
       kHead + "Content-Type: multipart/mixed; boundary=NEVER\n\nno boundary ever comes\n",
       Lines{""}},
  };
  for (const PlainCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PlainTextBody(c.mail, "ISO-8859-1"), c.body);
  }
}

TEST(PlainText, HeadersAndLongHtmlLines) {
  EXPECT_EQ(PlainHeaderText("Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?= aus Bonn", "ISO-8859-1"),
            "Subject: Gr\xfc\xdf"
            "e aus Bonn");
  EXPECT_EQ(PlainHeaderText("Subject: =?iso-8859-1?b?5g==?=", "UTF-8"), "Subject: \xc3\xa6");
  EXPECT_EQ(PlainHeaderText("Subject: plain", "ISO-8859-1"), "Subject: plain");
  const Lines wrapped = RenderHtml("<p>" + std::string(30, 'a') + " " + std::string(30, 'b') + " " +
                                   std::string(30, 'c') + "</p><pre>  kept   as\n is</pre>");
  EXPECT_EQ(wrapped, (Lines{std::string(30, 'a') + " " + std::string(30, 'b'), std::string(30, 'c'),
                            "", "  kept   as", " is"}));
  for (const std::string& line : wrapped) EXPECT_LE(line.size(), 79u);
}

}  // namespace
}  // namespace tidewire::inbound
