#include "inbound/traffic_log.h"

#include "base/dates.h"
#include "base/file_layer.h"

namespace tidewire::inbound {

namespace {

constexpr std::string_view kTrafficFile = "TRAFFIC.LOG";
constexpr std::string_view kOldTrafficFile = "TRAFFIC.LOG.1";
constexpr std::int64_t kRestartSize = 50000;

// A field on one line: no TAB, CR or LF of a subject can split or shift the record.
std::string Field(std::string_view text) {
  std::string field(text);
  for (char& c : field) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return field;
}

}  // namespace

bool TrafficLogKept(const std::filesystem::path& work_dir) {
  return FileIsPresent(work_dir / kTrafficFile);
}

void LogTraffic(const std::filesystem::path& work_dir, const TrafficEntry& entry) {
  const std::filesystem::path file = work_dir / kTrafficFile;
  if (FileIsPresent(file) && FileSizeOf(file) >= kRestartSize) {
    RenameFile(file, work_dir / kOldTrafficFile);
  }
  TextWriter log(file,
                 UsableFileExists(file) ? TextWriter::Mode::kAppend : TextWriter::Mode::kCreate);
  log.WriteLine(LocalDateTime(entry.when) + "\t" + entry.direction + "\t" + Field(entry.sender) +
                "\t" + Field(entry.recipients) + "\t" + Field(entry.subject) + "\t" +
                Field(entry.id) + "\t" + std::to_string(entry.size) + "\t" +
                std::string(VerdictWord(entry.verdict)));
  log.Close();
}

}  // namespace tidewire::inbound
