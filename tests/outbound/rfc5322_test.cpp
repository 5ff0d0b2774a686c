#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "outbound/outbound_fixture.h"

namespace tidewire::outbound {
namespace {

constexpr const char* kChecker = TIDEWIRE_TEST_DATA "/../outbound/check_rfc5322.py";

struct CheckResult {
  int status = -1;
  std::string output;
};

CheckResult RunChecker(const std::vector<std::filesystem::path>& files) {
  std::string command = std::string("python3 '") + kChecker + "'";
  for (const auto& file : files) command += " '" + file.string() + "'";
  command += " 2>&1";
  CheckResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) result.output += buffer;
  result.status = pclose(pipe);
  return result;
}

class StrictParser : public OutboundTest {
 protected:
  std::vector<std::filesystem::path> ReplyFiles() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(work_)) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".M01") || name.ends_with(".M02")) files.push_back(entry.path());
    }
    return files;
  }
};

TEST_F(StrictParser, CheckerRejectsABrokenMessage) {
  testing::WriteBytes(dir_ / "bad.M01",
                      "Message-ID: <a b@x>\nFrom: \"J\"x\" <j@x.y>\nTo: a@b.c\n\nbody\n");
  const CheckResult result = RunChecker({dir_ / "bad.M01"});
  EXPECT_NE(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("InvalidHeaderDefect"), std::string::npos) << result.output;
}

TEST_F(StrictParser, EveryReplyFileParses) {
  station_.users.Add({"XX4JKL", "XX0BBS", "J\xfcrgen \"Jo\" M\xfcller", "jo@example.de"});
  station_.users.Add({"XX5MNO", "XX0BBS", "Quote \"Q\" and \\ back", "q@example.de"});
  station_.users.Add({"XX6PQR", "XX0BBS", "", ""});
  std::string text;
  for (const char* sender : {"XX2DEF", "XX3GHI", "XX4JKL", "XX5MNO", "XX6PQR"}) {
    const std::string header = std::string("SP INET < ") + sender + " $1";
    text += ExportText(header, "Mail from " + std::string(sender),
                       {"R:261208/0500Z", "#TO: john@example.com", "Hello", "",
                        "Gr\xfc\xdf"
                        "e \x80\xff",
                        "From the gateway", ".", "--", "end"});
    text += ExportText(header, "", {"#TO:comp.lang.c", "news body"});
    text += ExportText(header, "Title\twith \x01 controls \xe4", {"#to:a@b.c, d@e.f"});
  }
  for (const char* code : {"1", "2", "3"}) {
    station_.config.ConfigurationCode = code;
    station_.config.ConfigurationCodeMode2 = std::string(code) == "2";
    PutExport(text);
    std::filesystem::remove(work_ / "REPLIES");
    Run();
    const auto files = ReplyFiles();
    ASSERT_EQ(files.size(), 15u);
    const CheckResult result = RunChecker(files);
    EXPECT_EQ(result.status, 0) << "code " << code << ":\n" << result.output;
  }
}

}  // namespace
}  // namespace tidewire::outbound
