#include "outbound/message_id.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "outbound/outbound_fixture.h"

namespace tidewire::outbound {
namespace {

TEST(MessageIdSource, ThirtyLettersFromAToY) {
  MessageIdSource ids(1);
  std::set<char> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string letters = ids.NextLetters();
    ASSERT_EQ(letters.size(), 30u);
    for (const char c : letters) {
      ASSERT_TRUE(c >= 'a' && c <= 'y') << letters;
      seen.insert(c);
    }
  }
  EXPECT_EQ(seen.size(), 25u);
}

TEST(MessageIdSource, SameSeedSameLettersOtherwiseNot) {
  MessageIdSource a(42), b(42), c(43);
  const std::string first = a.NextLetters();
  EXPECT_EQ(first, b.NextLetters());
  EXPECT_NE(first, c.NextLetters());
  EXPECT_NE(first, a.NextLetters());
}

class MessageIds : public OutboundTest {
 protected:
  std::string IdOf(std::string_view file) const {
    const std::string bytes = Work(file);
    return bytes.substr(0, bytes.find('\n'));
  }
};

// The clock stands still, as it does for messages written within one tick: the Message-IDs of
// one pass and of the next must still all differ.
TEST_F(MessageIds, DifferWithinOneClockTickAndAcrossPasses) {
  std::set<std::string> ids;
  for (int pass = 0; pass < 2; ++pass) {
    std::string text;
    for (int i = 0; i < 5; ++i) text += ExportText("SP INET < XX2DEF $1", "t", {"#TO:a@b.c"});
    PutExport(text);
    std::filesystem::remove(work_ / "REPLIES");
    ProcessExportFile(station_);  // the program's own source
    for (int n = 1; n <= 5; ++n) {
      const std::string id = IdOf(std::to_string(n) + ".M01");
      EXPECT_TRUE(IsMessageIdLine(id, "dora@tdwire")) << id;
      ids.insert(id);
    }
  }
  EXPECT_EQ(ids.size(), 10u);
}

TEST_F(MessageIds, ProgramSourceIsOneAndTheSame) {
  EXPECT_EQ(&ProgramMessageIds(), &ProgramMessageIds());
}

}  // namespace
}  // namespace tidewire::outbound
