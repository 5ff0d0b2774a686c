#include "outbound/acknowledgements.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "outbound/outbound_fixture.h"

namespace tidewire::outbound {
namespace {

constexpr std::string_view kTrailer =
    "\r\n\r\nInfo one\r\n** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by Varnel "
    "**\r\n\r\n/EX\r\n";

class Acknowledgements : public OutboundTest {};

TEST_F(Acknowledgements, AcknowledgementBytesGoToTheCallAsStored) {
  Put("ACK", "");
  PutExport(ExportText("SP INET @ INET < xx2def $5_XX0BBS", "Hello there",
                       {"R:first", "R:261208/0500Z @:XX0BBS #:101", "#TO: john@example.com",
                        "R:after the marker", "text"}));
  Run();
  EXPECT_EQ(Work("MAIL.IN"),
            "SP XX2DEF @ XX0BBS < TDWIRE\r\n*** ACK - MESSAGE ***\r\n\r\n"
            "Your message was processed by the Internet <> Packet Radio Gateway.\r\n\r\n"
            "Subject of message            : Hello there\r\n"
            "Email/newsgroup address found :  john@example.com\r\n"
            "Processing date/time          : Tue, 8 Dec 2026 00:15:37 +0100\r\n"
            "Source of original message    : - below -\r\n"
            "R:261208/0500Z @:XX0BBS #:101\r\n" +
                std::string(kTrailer));
  EXPECT_TRUE(WorkHas("1.M01"));
}

TEST_F(Acknowledgements, NoAcknowledgementWithoutTheFlag) {
  PutExport(ExportText("SP INET < XX2DEF $5", "t", {"#TO:a@b.c"}));
  Run();
  EXPECT_FALSE(WorkHas("MAIL.IN"));
  EXPECT_TRUE(WorkHas("1.M01"));
}

// Checks at the reply file's status line that the acknowledgement is written already.
class OrderCheckingOperator : public testing::ScriptedOperator {
 public:
  explicit OrderCheckingOperator(std::filesystem::path mail_in) : mail_in_(std::move(mail_in)) {}
  void StatusLine(std::string_view text) override {
    if (text == " Creating file: 1.M01") ack_was_first = std::filesystem::exists(mail_in_);
    ScriptedOperator::StatusLine(text);
  }
  bool ack_was_first = false;

 private:
  std::filesystem::path mail_in_;
};

TEST_F(Acknowledgements, AcknowledgementComesBeforeTheReplyFile) {
  OrderCheckingOperator op(work_ / "MAIL.IN");
  Station station(op, work_);
  station.config = station_.config;
  station.users = station_.users;
  station.AutoGoMode = true;
  station.clock = station_.clock;
  Put("ACK", "");
  PutExport(ExportText("SP INET < XX2DEF $5", "t", {"#TO:a@b.c"}));
  ProcessExportFile(station, ids_);
  EXPECT_TRUE(op.ack_was_first);
}

TEST_F(Acknowledgements, AddressLineRejectionBytes) {
  PutExport(ExportText("SP INET @ INET < xx2def $5", "No marker here",
                       {"R:261208/0500Z @:XX0BBS #:101", "To: john@example.com"}));
  Run();
  EXPECT_EQ(Work("MAIL.IN"),
            "SP xx2def @ XX0BBS < TDWIRE\r\n*** DELIVERY ERROR ***\r\n\r\n"
            "The Tidewire Software has detected an error in one of your messages\r\n"
            "#TO:   <- This line was not found in the message. Check for syntax errors\r\n"
            "Title of message : No marker here\r\n"
            "Source of original message    : - below -\r\n"
            "R:261208/0500Z @:XX0BBS #:101\r\n\r\n"
            "You must send the message to the Tidewire again.\r\n" +
                std::string(kTrailer));
  EXPECT_EQ(station_.counters.BadMessages, 1);
}

TEST_F(Acknowledgements, WrongAddressRejectionNamesInetOr1Twire) {
  PutExport(ExportText("SP XX1ABC @ INET < XX2DEF $5", "Personal", {"R:not read", "#TO:a@b.c"}));
  Run();
  const std::string expected =
      "SP XX2DEF @ XX0BBS < TDWIRE\r\n*** DELIVERY ERROR ***\r\n\r\n"
      "One of your messages could not be processed by the Tidewire\r\n"
      "The message was not send to: INET @ XX0BBS or SERVER @ XX0BBS\r\n"
      "Title of message : Personal\r\n"
      "Source of original message    : - below -\r\n\r\n\r\n"
      "You must send the message to the Tidewire again.\r\n" +
      std::string(kTrailer);
  EXPECT_EQ(Work("MAIL.IN"), expected);
  EXPECT_EQ(station_.counters.BadMessages, 0);

  std::filesystem::remove(work_ / "MAIL.IN");
  Put("1twire", "");
  PutExport(ExportText("SP XX1ABC @ INET < XX2DEF $5", "Personal", {"#TO:a@b.c"}));
  Run();
  EXPECT_NE(Work("MAIL.IN").find(
                "\r\nThe message was not send to: 1TWIRE @ XX0BBS or SERVER @ XX0BBS\r\n"),
            std::string::npos);
}

TEST_F(Acknowledgements, UnregisteredRejectionBytesHaveNoRoute) {
  PutExport(ExportText("SP INET @ INET < XX9ZZZ $5", "Hi", {"R:not read", "#TO:a@b.c"}));
  Run();
  EXPECT_EQ(Work("MAIL.IN"),
            "SP XX9ZZZ < TDWIRE\r\n*** DELIVERY ERROR ***\r\n\r\n"
            "The Tidewire Software has detected that the call: XX9ZZZ is\r\n"
            "UNREGISTERED. Please send a message to your Tidewire provider on how\r\n"
            "to subscribe. \r\n"
            "Title of failed message : Hi\r\n"
            "Source of original message    : - below -\r\n\r\n\r\n\r\n"
            "Info one\r\n** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by Varnel "
            "**\r\n\r\n\r\n/EX\r\n");
}

TEST_F(Acknowledgements, SeveralRejectionsAreAppendedInOrder) {
  Put("MAIL.IN", "SP EARLIER < X\r\nt\r\n/EX\r\n");
  PutExport(ExportText("SP INET < XX9ZZZ $1", "one", {}) +
            ExportText("SP XX1ABC < XX2DEF $2", "two", {}) +
            ExportText("SP INET < XX3GHI $3", "three", {}));
  Run();
  const auto messages = MailIn();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].header, "SP EARLIER < X");
  EXPECT_EQ(messages[1].body[4], "Title of failed message : one");
  EXPECT_EQ(messages[2].body[3], "Title of message : two");
  EXPECT_EQ(messages[3].body[3], "Title of message : three");
}

TEST_F(Acknowledgements, EvenCounterUsesSecondInfoLineAndBanner) {
  station_.bid.Set(0);  // before the first load of the counter in a program run
  PutExport(ExportText("SP INET < XX9ZZZ $1", "one", {}));
  Run();
  const auto messages = MailIn();
  ASSERT_FALSE(messages.empty());
  const auto& body = messages[0].body;
  EXPECT_EQ(body[9], "Info two");
  EXPECT_EQ(body[10], "** Tidewire V1.6 Beta  INTERNET <-> PACKET Radio Gateway by QX1VZP **");
}

}  // namespace
}  // namespace tidewire::outbound
