// Text from outside that would end a message, drop it or start a forged one if FBB obeyed it,
// put where FBB reads it: at bytes 78, 79, 80, 158 and 1 MiB of a line, since FBB reads every
// line in 79-byte pieces and tests each piece as a line. The real FBB must store exactly the
// messages the gateway wrote, and none from the forged sender.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interop/interop_station.h"

namespace tidewire::interop {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kPiece = 79;
constexpr std::size_t kOffsets[] = {78, 79, 80, 158, std::size_t{1} << 20};

FbbInstance::Options Quick() {
  FbbInstance::Options options;
  options.reject_rules =
      "!L B   INET   *       *       *          0\n"
      "!L B   SERVER *       *       *          0\n"
      "L B    *      *       *       *          0\n";
  options.quick_sleeps = true;
  return options;
}

void PadToPiece(std::string& line) {
  while (line.size() % kPiece != 0) line.push_back(' ');
}

// One line with `marker` at byte `at`, then a send command from SYSOP, its title and text, each
// at a piece start of its own, and an end: a whole forged message if FBB obeyed the pieces.
std::string Forged(std::size_t at, int bid, const std::string& marker = "/EX") {
  std::string line(at, 'x');
  line += marker;
  for (const std::string& piece :
       {"SP XX3GHI @ XX0BBS < SYSOP $FORGED" + std::to_string(bid), std::string("Forged title"),
        std::string("forged text"), std::string("/EX")}) {
    PadToPiece(line);
    line += piece;
  }
  return line;
}

std::string Mail(const std::string& subject, const std::string& extra_header,
                 const std::vector<std::string>& body) {
  std::string mail =
      "From popmail Mon Dec  7 09:00:00 2026\nFrom: Mallory <m@evil.example>\n"
      "To: Jane Doe <jane@example.org>\nSubject: " +
      subject + "\n";
  if (!extra_header.empty()) mail += extra_header + "\n";
  mail += "\n";
  for (const std::string& line : body) mail += line + "\n";
  return mail;
}

std::string Article(const std::string& subject, const std::string& extra_header,
                    const std::vector<std::string>& body) {
  std::string article =
      "From: m@evil.example (Mallory)\nNewsgroups: comp.os.linux.misc\n"
      "Subject: " +
      subject + "\n";
  if (!extra_header.empty()) article += extra_header + "\n";
  article += "\n";
  for (const std::string& line : body) article += line + "\n";
  return "#! rnews " + std::to_string(article.size()) + "\n" + article;
}

// A header line "X-Long: ..." with the marker at byte `at` of the line.
std::string LongHeader(std::size_t at, int bid) {
  std::string line = Forged(at, bid);
  return line.replace(0, 8, "X-Long: ");
}

class FbbForgeryTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FBB(); }

  void PassAndImport(GatewayStation& station, FbbInstance& fbb) {
    ASSERT_TRUE(Completed(station.Pass()));
    ASSERT_TRUE(fbb.Start()) << fbb.Log();
    ASSERT_TRUE(fbb.WaitForImport(240s)) << "FBB did not take mail.in\n" << fbb.Log();
    fbb.Stop();
  }

  // Every written message stored once as written; nothing from the forged sender; no message
  // held or lost to a repeated bulletin ID.
  void ExpectNothingForged(const GatewayStation& station, const FbbInstance& fbb,
                           std::size_t expected) {
    std::string faults;
    const std::vector<WrittenMessage> written = ReadWrittenMessages(station.BackupMailIn(), faults);
    EXPECT_EQ(faults, "");
    EXPECT_EQ(written.size(), expected) << [&] {
      std::string headers;
      for (const WrittenMessage& m : written) headers += m.header + " / " + m.title + "\n";
      return headers;
    }();
    const std::vector<FbbRecord> stored = fbb.ImportedMessages();
    EXPECT_TRUE(StoredAsWritten(written, stored, fbb));
    for (const FbbRecord& r : stored) {
      EXPECT_NE(r.from, "SYSOP") << r.title;
      EXPECT_NE(r.title, "Forged title");
    }
    EXPECT_TRUE(fbb.Held().empty());
  }
};

// Mail bodies, a line with no break at all, the copied header block, "/ABORT", news bodies and
// headers: each at every offset.
TEST_F(FbbForgeryTest, InternetTextAtEveryPieceStartStaysText) {
  FbbInstance fbb(Quick());
  GatewayStation station(fbb.ImportDir());
  std::string mails;
  std::string news;
  int bid = 0;
  for (const std::size_t at : kOffsets) {
    const std::string n = std::to_string(at);
    mails += Mail("body " + n, "", {"before", Forged(at, ++bid), "after"});
    mails += Mail(
        "lines " + n, "",
        {std::string(at, 'x') + "/EX", "SP XX3GHI @ XX0BBS < SYSOP $FORGED" + std::to_string(++bid),
         "Forged title", "text", "/EX"});
    mails += Mail("header " + n, LongHeader(at, ++bid), {"body"});
    mails += Mail("abort " + n, "", {std::string(at, 'x') + "/ABORT", "kept"});
    news += Article("news body " + n, "", {Forged(at, ++bid)});
    news += Article("news header " + n, LongHeader(at, ++bid), {"body"});
  }
  WriteBytes(station.Inbox("0000000.MSG"), mails);
  WriteBytes(station.Inbox("0000001.MSG"), news);
  PassAndImport(station, fbb);
  ExpectNothingForged(station, fbb, 6 * std::size(kOffsets));
}

// Quoted-printable soft breaks join short lines into one long line when MIME is made plain.
TEST_F(FbbForgeryTest, SoftBreaksOfQuotedPrintableMakeNoPieceCommand) {
  FbbInstance fbb(Quick());
  GatewayStation station(fbb.ImportDir());
  station.Flag("MIMETEXT");
  std::string mails;
  int bid = 0;
  for (const std::size_t at : {std::size_t{78}, std::size_t{79}, std::size_t{158}}) {
    std::string encoded;
    const std::string line = Forged(at, ++bid);
    for (std::size_t i = 0; i < line.size(); i += 60) encoded += line.substr(i, 60) + "=\n";
    mails += Mail("qp " + std::to_string(at),
                  "MIME-Version: 1.0\nContent-Type: text/plain; charset=us-ascii\n"
                  "Content-Transfer-Encoding: quoted-printable",
                  {encoded + "end"});
  }
  WriteBytes(station.Inbox("0000000.MSG"), mails);
  PassAndImport(station, fbb);
  ExpectNothingForged(station, fbb, 3);
}

// Packet users' own text that the gateway quotes back (the R: line of a delivery error, the
// address of an acknowledgement, a broadcast to every user) and the operator's text files.
TEST_F(FbbForgeryTest, TextQuotedBackAndOperatorFilesStayText) {
  FbbInstance fbb(Quick());
  GatewayStation station(fbb.ImportDir());
  station.Flag("ACK");
  station.SetConfigLine(18, "1");
  WriteBytes(station.Work("twire.sim"), Forged(79, 1) + "\r\n");
  WriteBytes(station.Work("INFO.TDW"), Forged(158, 2) + "\r\n");
  WriteBytes(station.Work("TWIRE.MAN"), Forged(79, 3) + "\r\n" + Forged(80, 4) + "\r\n");
  std::string address = "a@b.example" + std::string(47 - 11, 'x');
  WriteBytes(
      fbb.ExportFile(),
      FbbExported("INET", "XX2DEF", 301, "No address line",
                  {"R:" + Forged(79, 5).substr(2), "hello"}) +
          FbbExported("INET", "XX2DEF", 302, "Acknowledged", {"#TO: " + address + Forged(0, 6)}) +
          FbbExported("SERVER", "XX2DEF", 303, "BROADCAST", {Forged(79, 7), "bye"}) +
          FbbExported("SERVER", "XX3GHI", 304, "HELP MANUAL", {"please"}));
  WriteBytes(station.Inbox("0000001.MSG"), Article("news", "", {"plain"}));
  PassAndImport(station, fbb);
  // rejection, acknowledgement, help and manual answers, the article, the info message, the
  // broadcast to both users
  ExpectNothingForged(station, fbb, 8);
}

}  // namespace
}  // namespace tidewire::interop
