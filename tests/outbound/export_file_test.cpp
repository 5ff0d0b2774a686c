#include "outbound/export_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/errors.h"
#include "outbound/export_lock.h"
#include "outbound/outbound_fixture.h"

namespace tidewire::outbound {
namespace {

using testing::FbbMessage;
namespace fs = std::filesystem;

const std::string kToInet =
    ExportText("SP INET @ INET < XX2DEF $2001_XX0BBS", "Hello",
               {"R:261208/0500Z @:XX0BBS #:101", "#TO:john@example.com", "Hi John", "bye"});

class ExportFileStart : public OutboundTest {};

// FBB runs as root and leaves a root-owned 0644 export file: the gateway reads it and deletes it
// through the folder. One it cannot read stops the pass with its path and the remedy, and stays.
TEST_F(ExportFileStart, AFileOfAnotherOwnerIsTakenAndAnUnreadableOneIsAnError) {
  PutExport(kToInet);
  fs::permissions(ExportPath(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Run();
  EXPECT_TRUE(WorkHas("1.M01"));
  EXPECT_EQ(fs::file_size(ExportPath()), 0u);
  fs::remove(ExportPath());
  fs::create_directory(ExportPath());
  EXPECT_THROW(Run(), IoError);
  EXPECT_EQ(op_.status_lines.back().rfind("   The gateway's user needs read access", 0), 0u);
  EXPECT_TRUE(fs::is_directory(ExportPath()));
}

// A pass killed between deleting the export file and removing its lock left the lock: it goes,
// so FBB exports at its next minute. A live holder's lock stays.
TEST_F(ExportFileStart, WithoutAnExportFileALockLeftByADeadPassIsRemoved) {
  testing::WriteBytes(mailin_ / "fbbemail.lck",
                      "999999999\r\n" + OwnLockText().substr(OwnLockText().find('\n') + 1));
  Run();
  EXPECT_FALSE(fs::exists(mailin_ / "fbbemail.lck"));
  testing::WriteBytes(mailin_ / "fbbemail.lck",
                      "1\r\n" + OwnLockText().substr(OwnLockText().find('\n') + 1));
  Run();
  EXPECT_TRUE(fs::exists(mailin_ / "fbbemail.lck"));  // pid 1 runs
}

TEST_F(ExportFileStart, MissingFileOnlyAnnouncesAWaitingPacket) {
  Run();
  EXPECT_EQ(op_.status_lines, std::vector<std::string>{">> NOT FOUND : Exportfile FBBEMAIL"});
  EXPECT_FALSE(WorkHas("REPLIES"));
  EXPECT_FALSE(WorkHas("INDEX"));
  EXPECT_FALSE(fs::exists(ExportPath()));

  Put("NEWS.MSG", "old");
  Run();
  EXPECT_EQ(Work("REPLIES"), "NEWS\tnews\tB\n");
}

// A packet file an earlier pass left unannounced goes out with this pass, whatever the export
// file is like: FBB's export file is empty most of the time.
TEST_F(ExportFileStart, FileOfFiveBytesIsDeletedUnreadAndALeftPacketIsStillAnnounced) {
  PutExport("SP A\n");
  Put("MAIL.MSG", "old");
  Run();
  EXPECT_EQ(op_.status_lines, std::vector<std::string>{
                                  " Deleting FBBMAIL-exportfile, Filesize <= 5 (must be wrong)"});
  EXPECT_FALSE(fs::exists(ExportPath()));
  EXPECT_EQ(Work("REPLIES"), "MAIL\tmail\tb\n");
  EXPECT_FALSE(fs::exists(mailin_ / "fbbemail.lck"));
}

TEST_F(ExportFileStart, EmptyFileIsDeleted) {
  PutExport("");
  Run();
  EXPECT_FALSE(fs::exists(ExportPath()));
}

TEST_F(ExportFileStart, DoubleCarriageReturnEndsTheProgramAndTouchesNothing) {
  const std::string damaged = "SP INET < XX2DEF $1\r\r\nT\r\n/EX\r\n";
  PutExport(damaged);
  op_.ExpectOk(BoxKind::kError,
               "Invalid FBBEMAIL file, please check it. Propably the first message in this file "
               "is damaged");
  try {
    Run();
    ADD_FAILURE() << "no EndProgram";
  } catch (const EndProgram& end) {
    EXPECT_EQ(end.reason, EndProgram::Reason::kDamagedExportFile);
  }
  EXPECT_EQ(ExportBytes(), damaged);
  EXPECT_FALSE(fs::exists(work_ / "backup" / "FBBEMAIL"));
  EXPECT_FALSE(WorkHas("INDEX"));
  EXPECT_FALSE(WorkHas("MAIL.IN"));
  EXPECT_FALSE(fs::exists(mailin_ / "fbbemail.lck"));
  EXPECT_EQ(op_.status_lines.back(), " Validating FBB-exportfile (FBBEMAIL)");
}

TEST_F(ExportFileStart, CarriageReturnsApartOrAfterByte26AreNoDamage) {
  testing::WriteBytes(dir_ / "a", "x\r\n\r\ny\r");
  testing::WriteBytes(dir_ / "b", std::string("x\r\n\x1a\r\r"));
  testing::WriteBytes(dir_ / "c", std::string(70000, 'x') + "\r\r");
  EXPECT_FALSE(HasDoubleCarriageReturn(dir_ / "a"));
  EXPECT_FALSE(HasDoubleCarriageReturn(dir_ / "b"));
  EXPECT_TRUE(HasDoubleCarriageReturn(dir_ / "c"));
}

TEST_F(ExportFileStart, BackupHoldsTheFileAsItWas) {
  PutExport(kToInet);
  Run();
  EXPECT_EQ(testing::ReadBytes(work_ / "backup" / "FBBEMAIL"), kToInet);
}

TEST_F(ExportFileStart, MissingBackupFolderIsNotReported) {
  fs::remove_all(work_ / "backup");
  PutExport(kToInet);
  Run();
  EXPECT_TRUE(WorkHas("MAIL.MSG"));
}

TEST_F(ExportFileStart, StatusLinesOfAPass) {
  PutExport(kToInet);
  Run();
  EXPECT_EQ(op_.status_lines, (std::vector<std::string>{
                                  " Validating FBB-exportfile (FBBEMAIL)",
                                  " Creating backup of FBB-Exportfile... (FBBEMAIL)",
                                  " Creating file: 1.M01",
                                  " Closing FBB exportfile... (FBBEMAIL)",
                                  " Closing Indexfile... (INDEX)",
                                  " Deleting FBB-Exportfile... (FBBEMAIL)",
                                  " Creating clean exportfile (FBBEMAIL)",
                              }));
  EXPECT_EQ(ExportBytes(), "");
  EXPECT_TRUE(fs::exists(ExportPath()));
  EXPECT_FALSE(fs::exists(mailin_ / "fbbemail.lck"));
}

TEST_F(ExportFileStart, AnExportFileInCapitalsKeepsItsName) {
  testing::WriteBytes(mailin_ / "FBBEMAIL", kToInet);
  Run();
  EXPECT_EQ(testing::ReadBytes(mailin_ / "FBBEMAIL"), "");
  EXPECT_FALSE(fs::exists(mailin_ / "fbbemail"));
}

TEST_F(ExportFileStart, PassWithoutOutgoingMessageDeletesTheEmptyIndex) {
  PutExport(ExportText("SP XX9ZZZ < NOBODY $1", "t", {"x"}));
  Run();
  EXPECT_EQ(op_.status_lines.back(), " Deleting INDEX-File, Filesize = 0");
  EXPECT_FALSE(WorkHas("INDEX"));
  EXPECT_FALSE(WorkHas("REPLIES"));
  EXPECT_GE(op_.turns, 1);
}

class Dispatch : public OutboundTest {
 protected:
  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const FbbMessage& m : MailIn()) titles.push_back(m.header + " | " + m.title);
    return titles;
  }
};

TEST_F(Dispatch, ToFieldHoldingServerGoesToTheServerWhoeverSends) {
  PutExport(ExportText("SP INET @ SERVER < XX2DEF $1", "userinfo", {}) +
            ExportText("SP XSERVERX < XX3GHI $2", "help", {}));
  Run();
  EXPECT_EQ(Titles(),
            (std::vector<std::string>{"SP XX2DEF @ XX0BBS < TDWIRE | *** SERVER MESSAGE ***",
                                      "SP XX3GHI @ YY0BBS < TDWIRE | *** SERVER MESSAGE ***"}));
  EXPECT_EQ(station_.counters.ServerMessages, 2);
}

TEST_F(Dispatch, InternetAddressAsAddresseeIsAWrongAddress) {
  PutExport(ExportText("SP john@example.com < XX2DEF $1", "t", {"#TO:john@example.com"}));
  Run();
  EXPECT_EQ(Titles(),
            std::vector<std::string>{"SP XX2DEF @ XX0BBS < TDWIRE | *** DELIVERY ERROR ***"});
  EXPECT_EQ(station_.counters.BadMessages, 0);
  EXPECT_EQ(station_.counters.PacketToInternet, 0);
}

TEST_F(Dispatch, OneTwireIsAcceptedLikeInet) {
  PutExport(ExportText("SP 1TWIRE @ XX0BBS < xx2def $1", "t", {"#TO:comp.lang.c"}));
  Run();
  EXPECT_EQ(station_.counters.PacketToInternet, 1);
  EXPECT_TRUE(WorkHas("1.M02"));
}

TEST_F(Dispatch, MissingMarkerIsABadMessage) {
  PutExport(ExportText("SP INET < XX2DEF $1", "t", {"To: john@example.com"}) + kToInet);
  Run();
  EXPECT_EQ(station_.counters.BadMessages, 1);
  EXPECT_EQ(station_.counters.PacketToInternet, 1);
  ASSERT_EQ(MailIn().size(), 1u);
}

// An end line that also holds "#TO:" ends its message; the next message keeps its own address.
TEST_F(Dispatch, AnEndLineIsNeverAnAddressLine) {
  PutExport("SP INET < XX2DEF $1\r\nFirst\r\nno marker\r\n/EX #TO:evil@example.org\r\n" + kToInet);
  Run();
  EXPECT_EQ(station_.counters.BadMessages, 1);
  EXPECT_EQ(station_.counters.PacketToInternet, 1);
  EXPECT_EQ(Work("1.M01").find("evil@example.org"), std::string::npos);
  EXPECT_NE(Work("1.M01").find("john@example.com"), std::string::npos);
}

TEST_F(Dispatch, MarkerWithoutAddressIsABadMessageAndTheRestIsSkipped) {
  PutExport(ExportText("SP INET < XX2DEF $1", "t", {"#TO:   ", "text"}) + kToInet);
  Run();
  EXPECT_EQ(station_.counters.BadMessages, 1);
  EXPECT_EQ(station_.counters.PacketToInternet, 1);
  EXPECT_EQ(Work("1.M01").find("text\n"), std::string::npos);
}

// A piece of a line longer than the reader's bound is body, even when it reads "/EX" or "#TO:".
TEST_F(Dispatch, PiecesOfALongLineNeitherEndNorAddressAMessage) {
  const std::string pad(kLongestLine, 'x');
  PutExport(ExportText("SP INET < XX2DEF $1", "t",
                       {pad + "#TO:victim@example.com", "#TO:a@b.c", pad + "/EX",
                        "SP INET < XX2DEF $2", "forged", "#TO:victim@example.com"}));
  Run();
  EXPECT_EQ(station_.counters.PacketToInternet, 1);
  const std::string reply = Work("1.M01");
  EXPECT_NE(reply.find("To: a@b.c"), std::string::npos);
  EXPECT_NE(reply.find("\n/EX\nSP INET < XX2DEF $2\nforged\n"), std::string::npos);
  EXPECT_EQ(reply.find("victim@example.com\n"), reply.rfind("victim@example.com\n"));
}

TEST_F(Dispatch, UnregisteredSendersGetARejectionUnlessMailingListOrNoCall) {
  PutExport(ExportText("SP INET < XX9ZZZ $1", "t", {"#TO:a@b.c"}) +
            ExportText("SP INET < XX8YYY $2", "MLIST: ham", {"#TO:a@b.c"}) +
            ExportText("SP INET <", "t", {"#TO:a@b.c"}) +
            ExportText("SP INET < XX7LONGCALL $3", "t", {"#TO:a@b.c"}) +
            ExportText("SP INET < XX6\nFrom: $4", "t", {"#TO:a@b.c"}) + kToInet);
  Run();
  EXPECT_EQ(Titles(), std::vector<std::string>{"SP XX9ZZZ < TDWIRE | *** DELIVERY ERROR ***"});
  EXPECT_EQ(station_.counters.PacketToInternet, 1);
  EXPECT_EQ(station_.counters.BadMessages, 0);
}

TEST_F(Dispatch, EmptySenderIsNotMatchedToAnEmptyUserSlot) {
  station_.users.Add({"", "ZZ0BBS", "", ""});
  PutExport(ExportText("SP INET <", "t", {"#TO:a@b.c"}));
  Run();
  EXPECT_FALSE(WorkHas("MAIL.IN"));
  EXPECT_EQ(station_.counters.PacketToInternet, 0);
}

TEST_F(Dispatch, LaterOfTwoEntriesWithTheSameCallIsUsed) {
  station_.users.Add({"xx2def", "ZZ9BBS", "Second Dora", "dora2@example.org"});
  PutExport(ExportText("SP SERVER < XX2DEF $1", "userinfo", {}));
  Run();
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].header, "SP XX2DEF @ ZZ9BBS < TDWIRE");
  EXPECT_EQ(station_.CurrentUser, 3);
}

TEST_F(Dispatch, CurrentUserKeepsItsValueWhenALookupFails) {
  PutExport(kToInet + ExportText("SP INET < XX9ZZZ $1", "t", {}));
  Run();
  EXPECT_EQ(station_.CurrentUser, 1);
}

TEST_F(Dispatch, FoundUserIsShownUnlessAutoGo) {
  station_.AutoGoMode = false;
  op_.ExpectOk(BoxKind::kInformation,
               "Found message from:\rUser: >xx3ghi<\rDatabase:XX3GHI\rHomeBBS:YY0BBS\r"
               "To-User:INET @ INET\rEmail  :gil@example.com\rSubject:Tab here");
  PutExport(ExportText("SP INET @ INET < xx3ghi $1", "Tab\there", {"#TO:a@b.c"}));
  Run();
  op_.VerifyAllShown();
}

TEST_F(Dispatch, TextBeforeTheMarkerIsNotSent) {
  PutExport(ExportText("SP INET < XX2DEF $1", "t",
                       {"R:old", "secret preamble", "#to:a@b.c", "sent line"}));
  Run();
  const std::string reply = Work("1.M01");
  EXPECT_EQ(reply.find("secret"), std::string::npos);
  EXPECT_NE(reply.find("\n\nsent line\n"), std::string::npos);
  EXPECT_NE(reply.find("To: a@b.c\n"), std::string::npos);
}

TEST_F(Dispatch, LastMessageWithoutEndLineEndsTheStep) {
  PutExport("SP INET < XX2DEF $1\r\nt\r\n#TO:a@b.c\r\nlast line");
  Run();
  EXPECT_EQ(station_.counters.PacketToInternet, 1);
  EXPECT_NE(Work("MAIL.MSG").find("\n\nlast line\n"), std::string::npos);
  EXPECT_EQ(ExportBytes(), "");
}

TEST_F(Dispatch, ScanThatReachesTheEndOfTheFileIsABadMessage) {
  PutExport("SP INET < XX2DEF $1\r\nt\r\nR:x\r\nbody");
  Run();
  EXPECT_EQ(station_.counters.BadMessages, 1);
}

TEST_F(Dispatch, TitleThatLooksLikeAnEndLineIsStillATitle) {
  PutExport(ExportText("SP INET < XX2DEF $1", "/EX", {"#TO:a@b.c", "body"}) + kToInet);
  Run();
  EXPECT_EQ(station_.counters.PacketToInternet, 2);
  EXPECT_NE(Work("1.M01").find("Subject: /EX\n"), std::string::npos);
}

TEST_F(Dispatch, FailureStopsThePassAndKeepsTheExportFile) {
  fs::create_directory(work_ / "MAIL.IN");  // cannot be written
  const std::string text = ExportText("SP INET < XX9ZZZ $1", "t", {}) + kToInet;
  PutExport(text);
  EXPECT_THROW(Run(), IoError);
  EXPECT_EQ(ExportBytes(), text);
  EXPECT_FALSE(fs::exists(mailin_ / "fbbemail.lck"));
}

// The export file written by a real LinFBB for a forward to a file.
TEST_F(Dispatch, RealFbbExportSample) {
  station_.users.Add({"XX1ABC", "XX0BBS", "Abe Cole", "abe@example.org"});
  const std::string sample = testing::ReadBytes(TIDEWIRE_TEST_DATA "/fbbemail-linfbb-export.out");
  ASSERT_FALSE(sample.empty());
  PutExport(sample);
  Put("ACK", "");
  Run();
  // XX2DEF and XX3GHI wrote to INET without a "#TO:" line: bad messages. The personal mail to
  // XX1ABC @ INET and the bulletin NEWS @ EU are not for INET: wrong address.
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(station_.counters.BadMessages, 3);
  EXPECT_EQ(station_.counters.PacketToInternet, 0);
  EXPECT_EQ(messages[0].header, "SP XX2DEF @ XX0BBS < TDWIRE");
  EXPECT_EQ(messages[0].title, "*** DELIVERY ERROR ***");
  EXPECT_EQ(messages[0].body[5],
            "R:261208/0500Z @:XX0BBS.#TST.DEU.EU #:101 [Testcity] $:2001_XX0BBS");
  EXPECT_EQ(messages[1].header, "SP XX3GHI @ YY0BBS < TDWIRE");
  EXPECT_EQ(messages[2].body[2], "The message was not send to: INET @ XX0BBS or SERVER @ XX0BBS");
  EXPECT_EQ(messages[2].body[3], "Title of message : Personal mail @ INET");
  EXPECT_EQ(messages[3].body[5], "R:261208/1000Z @:XX9ZZZ.#NRW.DEU.EU #:4711 [Town] $:2005_XX0BBS");
  EXPECT_EQ(messages[4].body[3], "Title of message : Bulletin @ EU (exported by the G EU line)");
  EXPECT_EQ(ExportBytes(), "");
  EXPECT_EQ(testing::ReadBytes(work_ / "backup" / "FBBEMAIL"), sample);
}

TEST_F(Dispatch, RealFbbExportSampleWithAddressLines) {
  // The same messages as users write them for the gateway: a "#TO:" line ahead of the text.
  std::string sample = testing::ReadBytes(TIDEWIRE_TEST_DATA "/fbbemail-linfbb-export.out");
  for (std::size_t at = 0; (at = sample.find("\r\nTo: john", at)) != std::string::npos;) {
    sample.replace(at, 6, "\r\n#TO:");
  }
  sample.replace(sample.find("\r\nbody\r\n"), 8, "\r\n#TO: comp.test\r\nbody\r\n");
  PutExport(sample);
  Run();
  EXPECT_EQ(station_.counters.PacketToInternet, 2);
  EXPECT_EQ(station_.counters.BadMessages, 1);
  EXPECT_NE(Work("1.M01").find("To: john@example.com\n"), std::string::npos);
  EXPECT_NE(Work("2.M02").find("Newsgroups:  comp.test\n"), std::string::npos);
  EXPECT_NE(Work("1.M01").find("\nHello John, this is line 2 of the body.\n"), std::string::npos);
}

}  // namespace
}  // namespace tidewire::outbound
