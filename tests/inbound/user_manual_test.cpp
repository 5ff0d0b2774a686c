#include "inbound/user_manual.h"

#include <gtest/gtest.h>

#include "base/station.h"
#include "support/fbb_import.h"
#include "support/scripted_operator.h"
#include "support/temp_dir.h"

namespace tidewire::inbound {
namespace {

using tidewire::testing::ReadBytes;
using tidewire::testing::ScriptedOperator;
using tidewire::testing::TempDir;
using tidewire::testing::WriteBytes;

const UserRecord kUser{"XX1ABC", "XX0BBS", "Jo Doe", "jo@example.org", false};

class UserManualTest : public ::testing::Test {
 protected:
  TempDir dir;
  ScriptedOperator op;
  Station station{op, dir.path()};
};

TEST_F(UserManualTest, AppendsThePersonalMessageAfterWhatIsThere) {
  const std::string before = "SP XX9ZZZ < TDWIRE\r\nOld\r\nbody\r\n/EX\r\n";
  WriteBytes(dir / "MAIL.IN", before);
  WriteBytes(dir / "TWIRE.MAN", "Chapter 1\r\n/EX in the manual\r\n");
  SendManual(station.work_dir, station.op, kUser);
  EXPECT_EQ(ReadBytes(dir / "MAIL.IN"),
            before +
                "SP XX1ABC @ XX0BBS < TDWIRE\r\n*** TIDEWIRE USER MANUAL ***\r\n\r\n"
                "Hello Jo Doe\r\nThis message contains you Tidewire manual\r\n"
                "Please save this message and/or print it out.\r\n"
                "Your email address: jo@example.org\r\n" +
                std::string(59, '-') + "\r\n\r\nChapter 1\r\n /EX in the manual\r\n\r\n/EX\r\n");
  EXPECT_TRUE(op.status_lines.empty());
}

TEST_F(UserManualTest, EmptyManualGivesOneEmptyLine) {
  WriteBytes(dir / "TWIRE.MAN", "");
  SendManual(station.work_dir, station.op, kUser);
  int dropped = 0;
  const auto messages = tidewire::testing::ImportLikeFbb(ReadBytes(dir / "MAIL.IN"), dropped);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(dropped, 0);
  // Seven lines before the manual, its one empty line, the closing empty line.
  ASSERT_EQ(messages[0].body.size(), 9u);
  EXPECT_EQ(messages[0].body[5], std::string(59, '-'));
  EXPECT_EQ(messages[0].body[7], "");
}

TEST_F(UserManualTest, MissingManualOrEmptyRecordLeavesMailInAlone) {
  op.ExpectOk(BoxKind::kError, "ERROR: Tidewire Manual (TWIRE.MAN) not found!");
  SendManual(station.work_dir, station.op, kUser);
  WriteBytes(dir / "TWIRE.MAN", "text\r\n");
  op.ExpectOk(BoxKind::kWarning, "The selected record holds no user: the manual was not sent.");
  SendManual(station.work_dir, station.op, UserRecord{});
  EXPECT_FALSE(std::filesystem::exists(dir / "MAIL.IN"));
}

}  // namespace
}  // namespace tidewire::inbound
