#include "config/settings_file.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "config_files.h"

namespace tidewire::config {
namespace {

using testing::ConfigFilesTest;
using tidewire::testing::ReadBytes;
using tidewire::testing::WriteBytes;

class SettingsFileTest : public ::testing::Test, public ConfigFilesTest {};

TEST_F(SettingsFileTest, MissingFileShowsBoxAndGivesNothing) {
  station.config.ConfigurationCode = "3";
  op.ExpectOk(BoxKind::kError,
              "TWIRE.CFG file not found! Please set and save settings\r"
              "or use your Backup disk to restore old one.");
  EXPECT_FALSE(ReadSettingsAtStart(station.work_dir, station.config, station.op).has_value());
  EXPECT_EQ(station.config.ConfigurationCode, "3");
}

TEST_F(SettingsFileTest, SkipsLeadingStarLinesAndSetsOnlyTheFlagLines) {
  std::vector<std::string> lines = GoodConfigLines();
  lines.insert(lines.begin(), {"* Tidewire settings *", "*****"});
  lines[2 + 17] = "3x";  // line 18: no message from the dialog
  lines[2 + 19] = "2";   // line 20
  Write("TWIRE.CFG", lines);
  const auto fields = ReadSettingsAtStart(station.work_dir, station.config, station.op);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->MailinDIR, fbb_dir().string());
  EXPECT_EQ(fields->EmailAccount, "gate@example.net");
  EXPECT_EQ(fields->AfterXMessageText, "3x");
  EXPECT_TRUE(fields->UniversalFromChecked);
  const GatewayConfig& c = station.config;
  EXPECT_EQ(c.MailinDIR, "");  // lines 1 to 15 stay in the dialog
  EXPECT_EQ(c.BBSCall, "");
  EXPECT_TRUE(c.ShortNewsHeaders);
  EXPECT_FALSE(c.ShortMailHeaders);
  EXPECT_EQ(c.AfterXMessageStr, "3x");
  EXPECT_EQ(c.AfterXMessage, 3);
  EXPECT_FALSE(c.SwapNewsAddress);
  EXPECT_EQ(c.ConfigurationCode, "2");
  EXPECT_FALSE(c.ConfigurationCodeMode2);
  EXPECT_TRUE(c.UniversalFrom);
}

TEST_F(SettingsFileTest, PlaceholdersAreTheControlNames) {
  const SettingsFields fields = SettingsFields::Placeholders();
  EXPECT_EQ(fields.MailinDIR, "MailinDIR");
  EXPECT_EQ(fields.Remailer, "remailer");
  EXPECT_EQ(fields.EmailAccount, "EmailAccount");
  EXPECT_EQ(fields.AfterXMessageText, "01");
  EXPECT_EQ(fields.ConfigurationCode, "1");
}

SettingsFields SampleFields() {
  SettingsFields fields = SettingsFields::Placeholders();
  fields.MailinDIR = "C:\\FBB\\MAIL";
  fields.AT = "INET";
  fields.ConfigurationCode = "2";
  fields.UniversalFromChecked = false;
  return fields;
}

TEST_F(SettingsFileTest, WritesExactlyTwentyOneLines) {
  station.config.ShortNewsHeaders = true;
  station.config.SwapNewsAddress = true;
  WriteSettingsFile(station.work_dir, station.config, SampleFields(), "05");
  EXPECT_EQ(ReadBytes(dir / "TWIRE.CFG"),
            "C:\\FBB\\MAIL\r\nHRoute\r\nQTH\r\nBBSCall\r\nAT2\r\nremailer\r\nInfoLine\r\n"
            "InfoLine2\r\nINET\r\nSMTPmailserver\r\nPOP3mailserver\r\nNewsServer\r\nUserID\r\n"
            "PassWord\r\nEmailAccount\r\nTRUE\r\nFALSE\r\n05\r\nTRUE\r\n2\r\nFALSE\r\n");
}

struct EntryRow {
  const char* name;
  const char* stored;
  const char* entry;
  const char* line18;
};

class AfterXMessageLine : public ::testing::TestWithParam<EntryRow>, public ConfigFilesTest {};

TEST_P(AfterXMessageLine, FollowsTheTwoDigitEntry) {
  station.config.AfterXMessageStr = GetParam().stored;
  WriteSettingsFile(station.work_dir, station.config, SampleFields(), GetParam().entry);
  const auto fields = ReadSettingsAtStart(station.work_dir, station.config, station.op);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->AfterXMessageText, GetParam().line18);
}

INSTANTIATE_TEST_SUITE_P(Rows, AfterXMessageLine,
                         ::testing::Values(EntryRow{"untouched_empty_stored", "", "xx", "30"},
                                           EntryRow{"untouched_stored_12", "12", "xx", "12"},
                                           EntryRow{"typed_05", "12", "05", "05"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, RoundTripKeepsFieldsAndBytes) {
  SettingsFields written = SampleFields();
  written.PassWord = "  secret with blanks ";
  written.UniversalFromChecked = true;
  station.config.ShortMailHeaders = true;
  WriteSettingsFile(station.work_dir, station.config, written, "07");
  const std::string bytes = ReadBytes(dir / "TWIRE.CFG");

  const auto read = ReadSettingsAtStart(station.work_dir, station.config, station.op);
  ASSERT_TRUE(read.has_value());
  SettingsFields expected = written;
  expected.NewsHeadersText = "FALSE";
  expected.MailHeadersText = "TRUE";
  expected.AfterXMessageText = "07";
  expected.SwapText = "FALSE";
  expected.UniversalFromText = "TRUE";
  EXPECT_EQ(*read, expected);

  WriteSettingsFile(station.work_dir, station.config, *read, "xx");  // stored 07 is kept
  EXPECT_EQ(ReadBytes(dir / "TWIRE.CFG"), bytes);
}

TEST_F(SettingsFileTest, LineEndInsideAFieldCannotShiftTheLines) {
  SettingsFields fields = SampleFields();
  fields.QTH = "Test\rcity\x1a";
  WriteSettingsFile(station.work_dir, station.config, fields, "30");
  const auto read = ReadSettingsAtStart(station.work_dir, station.config, station.op);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->QTH, "Test city ");
  EXPECT_EQ(read->ConfigurationCode, "2");
}

TEST_F(SettingsFileTest, UnwritableFileRaisesIoError) {
  std::filesystem::create_directory(dir / "TWIRE.CFG");
  try {
    WriteSettingsFile(station.work_dir, station.config, SampleFields(), "30");
    ADD_FAILURE() << "no IoError";
  } catch (const IoError& error) {
    EXPECT_STREQ(error.what(), "File access denied");
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "TWIRE.CFG"));
}

}  // namespace
}  // namespace tidewire::config
