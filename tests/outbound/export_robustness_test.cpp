#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "base/errors.h"
#include "outbound/export_message.h"
#include "outbound/outbound_fixture.h"

namespace tidewire::outbound {
namespace {

namespace fs = std::filesystem;

// Inputs the fuzzer found, kept as files under tests/data/fuzz-regressions/export-*, after
// the fuzzer's seed, so that the test never runs empty.
std::vector<std::string> RegressionInputs() {
  std::vector<std::string> names;
  const fs::path folder = fs::path(TIDEWIRE_TEST_DATA) / "fuzz-regressions";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("export-")) names.push_back("fuzz-regressions/" + name);
  }
  std::sort(names.begin(), names.end());
  names.insert(names.begin(), "fbbemail-linfbb-export.out");
  return names;
}

class ExportRobustness : public OutboundTest, public ::testing::WithParamInterface<std::string> {};

// The only claim: no crash, no hang, no sanitizer report. A damaged file or a file error is a
// normal end of the pass.
TEST_P(ExportRobustness, PassEndsNormally) {
  const std::string bytes = testing::ReadBytes(fs::path(TIDEWIRE_TEST_DATA) / GetParam());
  PutExport(bytes);
  // Every sender a line names is registered, as in the fuzzer, so the input reaches the handlers.
  for (std::size_t start = 0; start < bytes.size() && station_.users.UserCount() < 100;) {
    std::size_t end = bytes.find('\r', start);
    if (end == std::string::npos) end = bytes.size();
    const std::string sender = CutHeaderLine(bytes.substr(start, end - start)).Sender;
    if (!sender.empty() && station_.users.FindUserByCall(sender) == 0) {
      station_.users.Add({sender, "XX0BBS", "", ""});
    }
    start = end + 1;
  }
  station_.AutoGoMode = true;
  if (bytes.size() > 5 && HasDoubleCarriageReturn(ExportPath())) {
    op_.ExpectOk(BoxKind::kError,
                 "Invalid FBBEMAIL file, please check it. Propably the first message in this "
                 "file is damaged");
  }
  try {
    Run();
  } catch (const EndProgram&) {
  } catch (const IoError&) {
  }
}

INSTANTIATE_TEST_SUITE_P(FuzzFound, ExportRobustness, ::testing::ValuesIn(RegressionInputs()),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace tidewire::outbound
