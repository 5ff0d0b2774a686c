// The conversion over real mail and news that nobody on this project wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/file_layer.h"
#include "base/text.h"
#include "inbound/downloads.h"
#include "support/fbb_import.h"
#include "support/scripted_operator.h"
#include "support/temp_dir.h"

namespace tidewire::inbound {
namespace {

using tidewire::testing::FbbLines;
using tidewire::testing::ReadBytes;
using tidewire::testing::ScriptedOperator;
using tidewire::testing::StartsWithCommand;
using tidewire::testing::TempDir;

const std::string kCorpus = TIDEWIRE_CORPUS_DIR;

// Runs the corpus's own packet maker; returns how many messages or articles it wrote.
int MakeSoup(const std::string& kind, const std::string& input, const fs::path& output) {
  const fs::path log = output.string() + ".log";
  const std::string command = "python3 '" + kCorpus + "/make-soup.py' " + kind + " '" + kCorpus +
                              "/" + input + "' -o '" + output.string() + "' >'" + log.string() +
                              "' 2>&1";
  if (std::system(command.c_str()) != 0) return -1;
  // "make-soup: <file>: <n> messages"
  const std::string said = ReadBytes(log);
  const std::size_t colon = said.rfind(": ");
  return colon == std::string::npos ? -1 : LeadingDigitsValue(said.substr(colon + 2));
}

// The bulletin-ID number of a header "<address> < <sender> $<n>-XX0BBS", or -1.
int BidOfHeader(const std::string& line, const std::string& address) {
  if (line.rfind(address + " < ", 0) != 0) return -1;
  const std::size_t dollar = line.find(" $", address.size() + 3);
  if (dollar == std::string::npos || line.find(' ', address.size() + 3) != dollar) return -1;
  const std::string bid = line.substr(dollar + 2);
  const std::size_t separator = bid.find('-');
  if (separator == std::string::npos || bid.substr(separator) != "-XX0BBS") return -1;
  const auto number = ParseDecimal(bid.substr(0, separator));
  return number ? *number : -1;
}

class CorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kCorpus + "/make-soup.py")) << "no corpus at " << kCorpus;
    station_.clock = [] { return std::time_t{1796685337}; };
    GatewayConfig& c = station_.config;
    c.BBSCall = "XX0BBS";
    c.AT = "INET";
    c.AT2 = "SB EMAIL @ WW";
    c.InfoLine = "Info";
    c.NewsDestinations = {"NEWS"};
    // Registered, but named nowhere in the corpus: every e-mail is non-personal.
    station_.users.Add({"XX2DEF", "XX0BBS", "Zzyzx Qwertyuiop", "xx2def@tidewire.invalid"});
  }

  // Every message of MAIL.IN has the expected header, a title line and its own end line, and
  // the bulletin IDs run on without a gap: nothing was cut, merged or injected.
  void ExpectWholeMessages(const std::string& address, int expected) {
    const std::vector<std::string> lines = FbbLines(ReadBytes(dir_ / "MAIL.IN"));
    int count = 0;
    std::size_t i = 0;
    while (i < lines.size()) {
      ASSERT_EQ(BidOfHeader(lines[i], address), count + 1) << "line " << i << ": " << lines[i];
      ASSERT_LT(i + 2, lines.size());
      ASSERT_EQ(lines[i + 2].rfind("R:", 0), 0u) << "title spilled at line " << i + 1;
      i += 3;
      while (i < lines.size() && !StartsWithCommand(lines[i], "EX")) {
        ASSERT_FALSE(StartsWithCommand(lines[i], "AB")) << "line " << i;
        ++i;
      }
      ASSERT_LT(i, lines.size()) << "message without end line";
      ASSERT_EQ(lines[i], "/EX");
      ++i;
      ++count;
    }
    EXPECT_EQ(count, expected);
  }

  // The corpus holds some messages twice, byte for byte: they go to FBB once.
  int Repeats() const {
    int n = 0;
    for (const std::string& line : op_.status_lines) {
      n += line.starts_with(" Handed to FBB before, skipped: ") ? 1 : 0;
    }
    return n;
  }

  TempDir dir_;
  ScriptedOperator op_;
  Station station_{op_, dir_.path()};
};

TEST_F(CorpusTest, EveryEmailBecomesOneGeneralBulletin) {
  const int mails = MakeSoup("mail", "mail", dir_ / "0000000.MSG");
  ASSERT_GT(mails, 3000);
  ConvertDownloads(station_);
  EXPECT_LT(Repeats(), 50);
  ExpectWholeMessages("SB EMAIL @ WW", mails - Repeats());
  EXPECT_EQ(station_.counters.EmailToPacket, mails - Repeats());
}

TEST_F(CorpusTest, EveryArticleBecomesOneBulletin) {
  const int articles = MakeSoup("news", "news", dir_ / "0000001.MSG");
  ASSERT_GT(articles, 2000);
  ConvertDownloads(station_);
  EXPECT_LT(Repeats(), 20);
  ExpectWholeMessages("SB NEWS @ INET", articles - Repeats());
  EXPECT_EQ(station_.counters.InetToPacket, articles - Repeats());
}

}  // namespace
}  // namespace tidewire::inbound
