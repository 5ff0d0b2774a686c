#include "config/load_configuration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "base/errors.h"
#include "base/file_layer.h"
#include "config/settings_file.h"
#include "config/user_database.h"
#include "config_files.h"

namespace tidewire::config {
namespace {

using testing::ConfigFilesTest;
using tidewire::testing::WriteBytes;

class LoadConfigurationTest : public ::testing::Test, public ConfigFilesTest {
 protected:
  [[nodiscard]] bool AnyWarningLine() const {
    for (const std::string& line : op.status_lines) {
      if (line.rfind("WARNING", 0) == 0) return true;
    }
    return false;
  }
};

TEST_F(LoadConfigurationTest, GoodConfigLoadsEveryFieldQuietly) {
  Write("TWIRE.CFG", GoodConfigLines());
  LoadConfiguration(station);
  const GatewayConfig& c = station.config;
  EXPECT_EQ(c.MailinDIR, fbb_dir().string());
  EXPECT_EQ(c.HRoute, "XX0BBS.#TST.DEU.EU");
  EXPECT_EQ(c.BBSCall, "XX0BBS");
  EXPECT_EQ(c.AT2, "SB EMAIL@AREA");
  EXPECT_EQ(c.InfoLine2, "Info two");
  EXPECT_EQ(c.AT, "INET");
  EXPECT_EQ(c.PassWord, "secret");
  EXPECT_EQ(c.EmailAccount, "gate@example.net");
  EXPECT_TRUE(c.ShortNewsHeaders);
  EXPECT_FALSE(c.ShortMailHeaders);
  EXPECT_EQ(c.AfterXMessageStr, "30");
  EXPECT_EQ(c.AfterXMessage, 30);
  EXPECT_FALSE(c.SwapNewsAddress);
  EXPECT_EQ(c.ConfigurationCode, "") << "only the settings dialog's reading stores the code";
  EXPECT_FALSE(c.ConfigurationCodeMode2);
  EXPECT_TRUE(c.UniversalFrom);
  EXPECT_FALSE(c.MailingListsLoaded);
  EXPECT_FALSE(c.WatchdogEnabled);
  EXPECT_EQ(station.panel.after_x_entry, "30");
  EXPECT_EQ(op.status_lines, std::vector<std::string>{" Reading file: TWIRE.CFG"});
}

TEST_F(LoadConfigurationTest, ReportsEachFileInOrder) {
  Write("TWIRE.CFG", GoodConfigLines());
  Write("TWIRE.PTI", {"HAM"});
  Write("ML.CFG", {"0"});
  Write("WATCH.DOG", {"10"});
  Write(".NEWSRC", {"alt.test"});
  LoadConfiguration(station);
  EXPECT_EQ(op.status_lines,
            (std::vector<std::string>{" Reading file: TWIRE.CFG", " Reading file: TWIRE.PTI",
                                      " Reading file: ML.CFG", " Reading file WATCH.DOG",
                                      " Reading file: .NEWSRC"}));
}

TEST_F(LoadConfigurationTest, LowerCaseFileNamesAreFound) {
  Write("twire.cfg", GoodConfigLines());
  Write("twire.pti", {"HAM"});
  LoadConfiguration(station);
  EXPECT_EQ(station.config.BBSCall, "XX0BBS");
  EXPECT_EQ(station.config.NewsDestinations, std::vector<std::string>{"HAM"});
}

// One row per message of the load's failure table.
struct MessageRow {
  const char* name;
  std::function<void(ConfigFilesTest&)> setup;
  BoxKind kind;
  const char* text;
};

void PrintTo(const MessageRow& row, std::ostream* os) { *os << row.name; }

class LoadConfigurationMessage : public ::testing::TestWithParam<MessageRow>,
                                 public ConfigFilesTest {};

TEST_P(LoadConfigurationMessage, ShowsExactBoxAndGoesOn) {
  const MessageRow& row = GetParam();
  Write("TWIRE.CFG", GoodConfigLines());
  Write(".NEWSRC", {"alt.test"});  // the load must reach the last file
  row.setup(*this);
  op.ExpectOk(row.kind, row.text);
  LoadConfiguration(station);
  EXPECT_NE(std::find(op.status_lines.begin(), op.status_lines.end(), " Reading file: .NEWSRC"),
            op.status_lines.end());
}

INSTANTIATE_TEST_SUITE_P(
    FailureTable, LoadConfigurationMessage,
    ::testing::Values(
        MessageRow{"config_missing",
                   [](ConfigFilesTest& t) { std::filesystem::remove(t.dir / "TWIRE.CFG"); },
                   BoxKind::kError,
                   "TWIRE.CFG file not found! Please set and save settings\r"
                   "or use your Backup disk to restore old one."},
        MessageRow{"at2_without_send_command",
                   [](ConfigFilesTest& t) { t.WriteConfigWith(5, "EMAIL@AREA"); }, BoxKind::kError,
                   "No SB/SP found in NON personal EMAIL-to field\r(General Settings)"},
        MessageRow{"after_x_message_not_a_number",
                   [](ConfigFilesTest& t) { t.WriteConfigWith(18, "3x"); }, BoxKind::kWarning,
                   "Error in file TWIRE.CFG (invalid value AfterXMessageStr)"},
        MessageRow{"mailing_list_count_not_a_number",
                   [](ConfigFilesTest& t) { t.Write("ML.CFG", {"two"}); }, BoxKind::kWarning,
                   "Invalid number of mailinglists in file ML.CFG"},
        MessageRow{"mailing_list_without_send_command",
                   [](ConfigFilesTest& t) {
                     t.Write("ML.CFG", {"1", "Ham", "*", "*", "*", "HAMLIST@QX3VZP", "--"});
                   },
                   BoxKind::kError, "No SB/SP found in ML.CFG mailinglist : 1"},
        MessageRow{"watchdog_not_a_number",
                   [](ConfigFilesTest& t) { t.Write("WATCH.DOG", {"ten"}); }, BoxKind::kError,
                   "Error in file WATCH.DOG (Invalid time.)"},
        MessageRow{"newsrc_line_with_exclamation_mark",
                   [](ConfigFilesTest& t) { t.Write(".NEWSRC", {"alt.test!"}); }, BoxKind::kWarning,
                   "Found error in line 1 of the newsgroups config-file\r"
                   "Please check your newsgroups and abort this session."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoadConfigurationTest, MissingConfigKeepsPreviousValues) {
  Write("TWIRE.CFG", GoodConfigLines());
  LoadConfiguration(station);
  std::filesystem::remove(dir / "TWIRE.CFG");
  op.ExpectOk(BoxKind::kError, std::string(kConfigFileMissingText));
  LoadConfiguration(station);
  EXPECT_EQ(station.config.BBSCall, "XX0BBS");
  EXPECT_EQ(station.config.AfterXMessage, 30);
}

TEST_F(LoadConfigurationTest, ShortFileReadsMissingLinesAsEmpty) {
  Write("TWIRE.CFG", {fbb_dir().string(), "XX0BBS.#TST", "Testcity", "XX0BBS", "SB EMAIL@AREA"});
  op.ExpectOk(BoxKind::kWarning, "Error in file TWIRE.CFG (invalid value AfterXMessageStr)");
  LoadConfiguration(station);
  EXPECT_EQ(station.config.AT, "");
  EXPECT_TRUE(station.config.ShortMailHeaders);  // an empty flag line is true
  EXPECT_EQ(station.config.AfterXMessage, 0);
  EXPECT_EQ(station.panel.after_x_entry, "");
}

struct FlagRow {
  const char* name;
  const char* line;
  bool value;
};

class FlagLineRule : public ::testing::TestWithParam<FlagRow>, public ConfigFilesTest {};

TEST_P(FlagLineRule, TrueUnlessItHoldsACapitalF) {
  for (std::size_t number : {16u, 17u, 19u, 21u}) {
    WriteConfigWith(number, GetParam().line);
    LoadConfiguration(station);
    const GatewayConfig& c = station.config;
    const bool value = number == 16   ? c.ShortNewsHeaders
                       : number == 17 ? c.ShortMailHeaders
                       : number == 19 ? c.SwapNewsAddress
                                      : c.UniversalFrom;
    EXPECT_EQ(value, GetParam().value) << "line " << number;
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, FlagLineRule,
                         ::testing::Values(FlagRow{"empty", "", true},
                                           FlagRow{"false_lower_case", "false", true},
                                           FlagRow{"FALSE", "FALSE", false},
                                           FlagRow{"TRUE", "TRUE", true},
                                           FlagRow{"OFF", "OFF", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoadConfigurationTest, ModeTwoStaysSetUntilRestart) {
  WriteConfigWith(20, "2");
  LoadConfiguration(station);
  EXPECT_TRUE(station.config.ConfigurationCodeMode2);
  WriteConfigWith(20, "1");
  LoadConfiguration(station);
  EXPECT_TRUE(station.config.ConfigurationCodeMode2);
}

TEST_F(LoadConfigurationTest, AfterXMessageValues) {
  WriteConfigWith(18, "3x");
  op.ExpectOk(BoxKind::kWarning, "Error in file TWIRE.CFG (invalid value AfterXMessageStr)");
  LoadConfiguration(station);
  EXPECT_EQ(station.config.AfterXMessage, 3);
  EXPECT_EQ(station.config.AfterXMessageStr, "3x");
  EXPECT_EQ(station.panel.after_x_entry, "3x");

  WriteConfigWith(18, " 05");
  LoadConfiguration(station);
  EXPECT_EQ(station.config.AfterXMessage, 5);
  EXPECT_EQ(station.panel.after_x_entry, " 05");
}

TEST_F(LoadConfigurationTest, SendCommandCheckIsMadeOnUpperCasedText) {
  WriteConfigWith(5, "sb email@area");
  LoadConfiguration(station);  // no box
  WriteConfigWith(5, "EMAIL SB");
  op.ExpectOk(BoxKind::kError, "No SB/SP found in NON personal EMAIL-to field\r(General Settings)");
  LoadConfiguration(station);
  EXPECT_EQ(station.config.AT2, "EMAIL SB");
}

TEST_F(LoadConfigurationTest, ConfigLinesWithStarsAreNotSkipped) {
  std::vector<std::string> lines = GoodConfigLines();
  lines.insert(lines.begin(), "* saved by hand");
  Write("TWIRE.CFG", lines);
  EXPECT_THROW(LoadConfiguration(station), ConversionError);
  EXPECT_EQ(station.config.MailinDIR, "* saved by hand");
}

// --- drive checks

TEST_F(LoadConfigurationTest, MappedDriveLetterIsChecked) {
  station.drives.folders['F'] = fbb_dir();
  WriteConfigWith(1, "f:\\FBB\\MAIL");
  LoadConfiguration(station);
  EXPECT_EQ(station.config.MailinDIR, "f:\\FBB\\MAIL");
  EXPECT_EQ(station.config.BBSCall, "XX0BBS");
}

class DriveNotReady : public ::testing::TestWithParam<const char*>, public ConfigFilesTest {};

// "autogo" stays, so the next start of an unattended station tries again.
TEST_P(DriveNotReady, ShowsBoxKeepsAutogoAndEnds) {
  WriteConfigWith(1, GetParam());
  Write("autogo", {});
  Write("TWIRE.PTI", {"HAM"});
  op.ExpectOk(BoxKind::kError, "Cannot access MAIL.IN-DIR Drive!");
  try {
    LoadConfiguration(station);
    ADD_FAILURE() << "no EndProgram";
  } catch (const EndProgram& end) {
    EXPECT_EQ(end.reason, EndProgram::Reason::kDriveNotReady);
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "autogo"));
  EXPECT_EQ(station.config.BBSCall, "");  // nothing after line 1 was read
  EXPECT_TRUE(station.config.NewsDestinations.empty());
  EXPECT_EQ(op.status_lines, std::vector<std::string>{" Reading file: TWIRE.CFG"});
}

INSTANTIATE_TEST_SUITE_P(Paths, DriveNotReady,
                         ::testing::Values("Q:\\FBB\\MAIL", "/nonexistent-tidewire/fbb"));

TEST_F(LoadConfigurationTest, NoDriveLetterAbandonsTheLoad) {
  Write("autogo", {});
  for (const char* mailin : {"1abc", ""}) {
    WriteConfigWith(1, mailin);
    try {
      LoadConfiguration(station);
      ADD_FAILURE() << "no ConversionError for \"" << mailin << "\"";
    } catch (const ConversionError& error) {
      EXPECT_STREQ(error.what(), "Not a valid drive ID");
    }
  }
  EXPECT_TRUE(FileIsPresent(dir / "autogo"));
  EXPECT_EQ(station.config.BBSCall, "");
}

// --- companion files

TEST_F(LoadConfigurationTest, NewsDestinationsAreTrimmedAndKeptWhenFileGoes) {
  Write("TWIRE.CFG", GoodConfigLines());
  Write("TWIRE.PTI", {"HAM  \t", "   ", "sb hamlst @ ww"});
  LoadConfiguration(station);
  EXPECT_EQ(station.config.NewsDestinations,
            (std::vector<std::string>{"HAM", "", "sb hamlst @ ww"}));
  std::filesystem::remove(dir / "TWIRE.PTI");
  LoadConfiguration(station);
  EXPECT_EQ(station.config.NewsDestinations.size(), 3u);
}

// Settings typed on Linux (LF line ends) are read line by line as meant: "HAM\nSPACE" used to be
// one entry, "SB HAM SP @ INET", which FBB drops. A CR LF file keeps its CR rule.
TEST_F(LoadConfigurationTest, SettingsTypedWithLfLineEndsAreReadByTheirLines) {
  std::string config;
  for (const std::string& line : GoodConfigLines()) config += line + "\n";
  WriteBytes(dir / "TWIRE.CFG", config);
  WriteBytes(dir / "TWIRE.PTI", "HAM\nSPACE\n");
  WriteBytes(dir / "USER.DAT", "V1.5\n1\nXX1ABC\nXX0BBS\nAnn\nann@example.org\n");
  LoadConfiguration(station);
  LoadUserDatabase(station.work_dir, station.config, station.users, station.op);
  EXPECT_EQ(station.config.NewsDestinations, (std::vector<std::string>{"HAM", "SPACE"}));
  EXPECT_EQ(station.config.BBSCall, "XX0BBS");
  ASSERT_EQ(station.users.UserCount(), 1);
  EXPECT_EQ(station.users[1].RemailerAccount, "ann@example.org");
  WriteBytes(dir / "TWIRE.PTI", "HAM\r\nA\nB\r\n");
  LoadConfiguration(station);
  EXPECT_EQ(station.config.NewsDestinations, (std::vector<std::string>{"HAM", "A\nB"}));
}

TEST_F(LoadConfigurationTest, NewsDestinationsBeyondFiftyAreAnnouncedOnce) {
  Write("TWIRE.CFG", GoodConfigLines());
  std::vector<std::string> lines(50, "HAM");
  lines.insert(lines.end(), {"", "LOST", "LOST2"});
  Write("TWIRE.PTI", lines);
  LoadConfiguration(station);
  EXPECT_EQ(station.config.NewsDestinations.size(), 50u);
  EXPECT_EQ(op.status_lines.back(),
            "WARNING: TWIRE.PTI has more than 50 lines; lines after 50 are not used");

  op.status_lines.clear();
  lines.resize(50);
  lines.insert(lines.end(), {"", "  "});  // only blank lines past the table: nothing lost
  Write("TWIRE.PTI", lines);
  LoadConfiguration(station);
  EXPECT_FALSE(AnyWarningLine());
}

TEST_F(LoadConfigurationTest, MailingListsAfterCommentLines) {
  Write("TWIRE.CFG", GoodConfigLines());
  Write("ML.CFG", {"# lists", "# 2", "#", "2",                          //
                   "Ham", "ham-list", "*", "", "SB HAMLST@WW", "----",  //
                   "Dx", "*", "dx@example.org", "DX", "sp dxer @ xx0bbs", "----"});
  LoadConfiguration(station);
  const GatewayConfig& c = station.config;
  ASSERT_EQ(c.MailingListCount(), 2u);
  EXPECT_TRUE(c.MailingListsLoaded);
  EXPECT_EQ(c.MailingLists[0].FromPattern, "ham-list");
  EXPECT_EQ(c.MailingLists[0].SubjectPattern, "");
  EXPECT_EQ(c.MailingLists[1].ListName, "Dx");
  EXPECT_EQ(c.MailingLists[1].ListAddress, "sp dxer @ xx0bbs");

  std::filesystem::remove(dir / "ML.CFG");
  LoadConfiguration(station);
  EXPECT_FALSE(station.config.MailingListsLoaded);
}

TEST_F(LoadConfigurationTest, MailingListWithoutSendCommandStaysInTable) {
  Write("TWIRE.CFG", GoodConfigLines());
  Write("ML.CFG", {"2", "A", "*", "*", "*", "SB ALIST", "-", "B", "*", "*", "*", "BLIST", "-"});
  op.ExpectOk(BoxKind::kError, "No SB/SP found in ML.CFG mailinglist : 2");
  LoadConfiguration(station);
  ASSERT_EQ(station.config.MailingListCount(), 2u);
  EXPECT_EQ(station.config.MailingLists[1].ListAddress, "BLIST");
}

TEST_F(LoadConfigurationTest, MailingListCountBounds) {
  Write("TWIRE.CFG", GoodConfigLines());
  std::vector<std::string> lines{"33"};
  for (int k = 1; k <= 33; ++k) {
    lines.insert(lines.end(), {"L" + std::to_string(k), "*", "*", "*", "SB L@WW", "-"});
  }
  Write("ML.CFG", lines);
  LoadConfiguration(station);
  EXPECT_EQ(station.config.MailingListCount(), 31u);
  EXPECT_EQ(station.config.MailingLists[30].ListName, "L31");
  EXPECT_EQ(op.status_lines.back(),
            "WARNING: ML.CFG announces 33 mailing lists; lists after 31 are not used");

  Write("ML.CFG", {"-2", "A", "*", "*", "*", "SB A@WW", "-"});
  LoadConfiguration(station);
  EXPECT_EQ(station.config.MailingListCount(), 0u);
  EXPECT_TRUE(station.config.MailingListsLoaded);

  Write("ML.CFG", {"2", "A", "*", "*", "*", "SB A@WW", "-"});  // list 2 missing
  op.ExpectOk(BoxKind::kError, "No SB/SP found in ML.CFG mailinglist : 2");
  LoadConfiguration(station);
  ASSERT_EQ(station.config.MailingListCount(), 2u);
  EXPECT_EQ(station.config.MailingLists[1].ListName, "");
}

TEST_F(LoadConfigurationTest, Watchdog) {
  Write("TWIRE.CFG", GoodConfigLines());
  Write("WATCH.DOG", {"10"});
  LoadConfiguration(station);
  EXPECT_TRUE(station.config.WatchdogEnabled);
  EXPECT_EQ(station.config.WatchdogMinutes, 10);

  tidewire::testing::WriteBytes(dir / "WATCH.DOG", "");
  op.ExpectOk(BoxKind::kError, "Error in file WATCH.DOG (Invalid time.)");
  LoadConfiguration(station);
  EXPECT_FALSE(station.config.WatchdogEnabled);
}

TEST_F(LoadConfigurationTest, NewsrcErrorsClearAutoGo) {
  Write("TWIRE.CFG", GoodConfigLines());
  Write(".NEWSRC", {"alt.a", "alt.b", "alt.c!", "alt.d", "alt.e", "alt.f", "alt.g: 1-5!"});
  Write("autogo", {});
  station.AutoGoMode = true;
  station.panel.auto_go = true;
  for (const char* n : {"3", "7"}) {
    op.ExpectOk(BoxKind::kWarning, std::string("Found error in line ") + n +
                                       " of the newsgroups config-file\r"
                                       "Please check your newsgroups and abort this session.");
  }
  LoadConfiguration(station);
  EXPECT_FALSE(station.panel.auto_go);
  EXPECT_FALSE(station.AutoGoMode);
  EXPECT_FALSE(std::filesystem::exists(dir / "autogo"));
}

TEST_F(LoadConfigurationTest, NewsrcErrorInManualModeOnlyClearsTheBox) {
  Write("TWIRE.CFG", GoodConfigLines());
  Write(".NEWSRC", {"alt.c!"});
  Write("autogo", {});
  station.panel.auto_go = true;
  op.ExpectOk(BoxKind::kWarning,
              "Found error in line 1 of the newsgroups config-file\r"
              "Please check your newsgroups and abort this session.");
  LoadConfiguration(station);
  EXPECT_FALSE(station.panel.auto_go);
  EXPECT_TRUE(FileIsPresent(dir / "autogo"));
}

// --- FBB limits

TEST_F(LoadConfigurationTest, LimitWarningsEndTheLoad) {
  WriteConfigWith(4, "XX0BBSXX");
  UserRecord user;
  user.UserCALL = "XX1ABCDEF";  // a field fault: reported by the user load, not here
  user.HomeBBS = "XX0BBS";
  station.users.Add(user);
  user.UserCALL = "XX2ABC";
  user.HomeBBS = std::string(50, 'H');
  station.users.Add(user);
  LoadConfiguration(station);
  EXPECT_EQ(op.status_lines,
            (std::vector<std::string>{
                " Reading file: TWIRE.CFG",
                "WARNING: BBS Call XX0BBSXX is longer than 6 characters: FBB drops every message",
                "WARNING: USER.DAT user 2 (XX2ABC) makes its header line 87 characters long, over "
                "77: FBB takes the rest of the header line as the title"}));
}

}  // namespace
}  // namespace tidewire::config
