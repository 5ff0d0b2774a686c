#include "config/fbb_limits.h"

#include <gtest/gtest.h>

#include <functional>

namespace tidewire::config {
namespace {

GatewayConfig GoodConfig() {
  GatewayConfig config;
  config.BBSCall = "XX0BBS";
  config.AT = "INET";
  config.AT2 = "SB EMAIL@AREA";
  config.MailingLists.push_back({"Ham", "*", "*", "*", "sp hamlst @ qx3vzp"});
  config.NewsDestinations = {"HAMRADIO", "", "SB DX @ WW"};  // a long short name is cut to six
  return config;
}

UserRecord User(std::string call, std::string home) {
  UserRecord user;
  user.UserCALL = std::move(call);
  user.HomeBBS = std::move(home);
  return user;
}

TEST(FbbLimits, GoodSettingsGiveNoWarning) {
  EXPECT_TRUE(ConfigLimitWarnings(GoodConfig()).empty());
  UserDatabase users;
  users.Add(User("XX1ABC", "XX0BBS.#TST.DEU.EU"));
  EXPECT_TRUE(UserLimitWarnings(users, GoodConfig()).empty());
}

TEST(FbbLimits, ValuesRightAtTheLimitsPass) {
  GatewayConfig config = GoodConfig();
  config.BBSCall = "XX0BBX";
  config.AT = "INETWW";
  config.AT2 = "SB ABCDEF @ ABCDEF.ABCDEF.ABCDEF.ABCDEF.EU";  // route of 31
  EXPECT_TRUE(ConfigLimitWarnings(config).empty());
  UserDatabase users;
  users.Add(User("XX1ABC", "ABCDEF.ABCDEF.ABCDEF.ABCDEF.EU1"));
  EXPECT_TRUE(UserLimitWarnings(users, config).empty());
}

TEST(FbbLimits, HeaderOfSeventySevenPassesSeventyEightIsCut) {
  // "SB EMAIL @ EU" + blanks + " < INET $99989_XX0BBS" (21 characters)
  GatewayConfig config = GoodConfig();
  config.AT2 = "SB EMAIL @ EU" + std::string(43, ' ');
  EXPECT_TRUE(ConfigLimitWarnings(config).empty());
  config.AT2 += " ";
  EXPECT_EQ(ConfigLimitWarnings(config),
            std::vector<std::string>{"WARNING: EMAIL to (AT2) \"" + config.AT2 +
                                     "\" makes its header line 78 characters long, over 77: FBB "
                                     "takes the rest of the header line as the title"});
}

struct ConfigRow {
  const char* name;
  std::function<void(GatewayConfig&)> change;
  std::vector<std::string> warnings;
};

void PrintTo(const ConfigRow& row, std::ostream* os) { *os << row.name; }

class ConfigLimits : public ::testing::TestWithParam<ConfigRow> {};

TEST_P(ConfigLimits, OneLinePerOffendingSetting) {
  GatewayConfig config = GoodConfig();
  GetParam().change(config);
  EXPECT_EQ(ConfigLimitWarnings(config), GetParam().warnings);
}

const char* const kDropsSentTo = ": FBB drops every message sent to it";

INSTANTIATE_TEST_SUITE_P(
    Rows, ConfigLimits,
    ::testing::Values(
        ConfigRow{"bbs_call_over_six",
                  [](GatewayConfig& c) { c.BBSCall = "XX0BBSXX"; },
                  {"WARNING: BBS Call XX0BBSXX is longer than 6 characters: FBB drops every "
                   "message"}},
        ConfigRow{"at_empty",
                  [](GatewayConfig& c) { c.AT = ""; },
                  {"WARNING: AT is empty: FBB drops every converted e-mail, whose sender field "
                   "it is"}},
        ConfigRow{"at_over_six",
                  [](GatewayConfig& c) { c.AT = "INTERNET"; },
                  {"WARNING: AT INTERNET is longer than 6 characters: FBB drops every converted "
                   "e-mail, whose sender field it is"}},
        ConfigRow{"at2_without_send_command",
                  [](GatewayConfig& c) { c.AT2 = "EMAIL @ WW"; },
                  {std::string("WARNING: EMAIL to (AT2) \"EMAIL @ WW\" does not begin with SP or "
                               "SB") +
                   kDropsSentTo}},
        ConfigRow{"at2_to_field_over_six",
                  [](GatewayConfig& c) { c.AT2 = "sp hamlist @ qx3vzp"; },
                  {std::string("WARNING: EMAIL to (AT2) \"sp hamlist @ qx3vzp\" has a to-field "
                               "(hamlist) longer than 6 characters") +
                   kDropsSentTo}},
        ConfigRow{
            "at2_route_over_31",
            [](GatewayConfig& c) { c.AT2 = "SB EMAIL@AREA.AREA.AREA.AREA.AREA.AREA.AREA"; },
            {std::string("WARNING: EMAIL to (AT2) \"SB EMAIL@AREA.AREA.AREA.AREA.AREA.AREA.AREA\" "
                         "has a route longer than 31 characters") +
             kDropsSentTo}},
        ConfigRow{"at2_to_and_route_part",
                  [](GatewayConfig& c) { c.AT2 = "SB EMAILTOALL @ EUROPEAN.WW"; },
                  {std::string("WARNING: EMAIL to (AT2) \"SB EMAILTOALL @ EUROPEAN.WW\" has a "
                               "to-field (EMAILTOALL) longer than 6 characters and has a route "
                               "part (EUROPEAN) longer than 6 characters") +
                   kDropsSentTo}},
        ConfigRow{"at2_route_ends_in_dot",
                  [](GatewayConfig& c) { c.AT2 = "SB EMAIL@EU."; },
                  {std::string("WARNING: EMAIL to (AT2) \"SB EMAIL@EU.\" has a route ending in a "
                               "dot") +
                   kDropsSentTo}},
        ConfigRow{"mailing_list_address",
                  [](GatewayConfig& c) {
                    c.MailingLists.push_back({"Dx", "*", "*", "*", "SP HAMLISTS@QX3VZP"});
                  },
                  {std::string("WARNING: ML.CFG mailing list 2 address \"SP HAMLISTS@QX3VZP\" has "
                               "a to-field (HAMLISTS) longer than 6 characters") +
                   kDropsSentTo}},
        ConfigRow{"news_entry_with_address",
                  [](GatewayConfig& c) { c.NewsDestinations[1] = "sb hamradio@ww"; },
                  {std::string("WARNING: TWIRE.PTI line 2 \"sb hamradio@ww\" has a to-field "
                               "(hamradio) longer than 6 characters") +
                   kDropsSentTo}},
        ConfigRow{"long_bbs_call_stretches_every_header",
                  [](GatewayConfig& c) { c.BBSCall = std::string(50, 'B'); },
                  {"WARNING: BBS Call " + std::string(50, 'B') +
                       " is longer than 6 characters and makes its header line 83 characters "
                       "long, over 77: FBB drops every message",
                   "WARNING: EMAIL to (AT2) \"SB EMAIL@AREA\" makes its header line 78 characters "
                   "long, over 77: FBB takes the rest of the header line as the title",
                   "WARNING: ML.CFG mailing list 1 address \"sp hamlst @ qx3vzp\" makes its "
                   "header line 83 characters long, over 77: FBB takes the rest of the header "
                   "line as the title"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FbbLimits, UserFieldsAndHeader) {
  UserDatabase users;
  users.Add(User("XX1ABCD", "XX0BBS"));
  users.Add(User("XX2ABC", "XX0BBS.#TST.DEU.EU.WW.XX.YY.ZZ.AA"));
  users.Add(User("XX3ABC", "XX0BBS.#BAYERN.DEU.EU"));
  users.Add(User("XX4ABC", "AAAAAA.BBBBBB.CCCCCC.DDDDDD.EEEEEE.FFFFFF.GGGGGG.HH"));  // 51
  const std::string drops = ": FBB drops every message to this user";
  EXPECT_EQ(
      UserLimitWarnings(users, GoodConfig()),
      (std::vector<std::string>{
          "WARNING: USER.DAT user 1 (XX1ABCD) has a call longer than 6 characters" + drops,
          "WARNING: USER.DAT user 2 (XX2ABC) has a home BBS longer than 31 characters" + drops,
          "WARNING: USER.DAT user 3 (XX3ABC) has a home BBS part (#BAYERN) longer than 6 "
          "characters" +
              drops,
          "WARNING: USER.DAT user 4 (XX4ABC) has a home BBS longer than 31 characters and "
          "makes its header line 86 characters long, over 77" +
              drops}));
  EXPECT_EQ(UserHeaderWarnings(users, GoodConfig()),
            std::vector<std::string>{"WARNING: USER.DAT user 4 (XX4ABC) makes its header line 86 "
                                     "characters long, over 77: FBB takes the rest of the header "
                                     "line as the title"});
}

TEST(FbbLimits, UserHeaderTakesTheLongerSender) {
  // Broadcast headers carry SERVER; e-mail headers carry AT when that is longer.
  UserDatabase users;
  users.Add(User("XX4ABC", "AAAAAA.BBBBBB.CCCCCC.DDDDDD.EEEEEE.FFFFFF.GGGGG"));  // 47
  GatewayConfig empty;                                    // at program start nothing is loaded yet
  EXPECT_TRUE(UserHeaderWarnings(users, empty).empty());  // 3+6+3+47+3+6+2+6 = 76
  GatewayConfig config = GoodConfig();
  EXPECT_EQ(UserHeaderWarnings(users, config).size(), 1u);  // ... + 12 = 82
}

}  // namespace
}  // namespace tidewire::config
