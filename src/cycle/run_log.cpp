#include "cycle/run_log.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "base/dates.h"
#include "base/file_layer.h"

namespace tidewire::cycle {

namespace {

constexpr std::string_view kLogFile = "TWIRE.LOG";
constexpr std::string_view kOldLogFile = "TWIRE.LOG.1";
constexpr std::int64_t kRestartSize = 50000;

void WriteCount(TextWriter& log, std::string_view label, std::int32_t value) {
  log.WriteLine(std::string(label) + std::to_string(value));
}

void WriteRecord(TextWriter& log, const RunCounters& counters, std::int32_t latest_bid,
                 std::time_t now) {
  log.WriteLine("Date/Time          : " + MailDateText(now));
  WriteCount(log, "Inet   -> Packet   : ", counters.InetToPacket);
  WriteCount(log, "Email  -> Packet   : ", counters.EmailToPacket);
  WriteCount(log, "Packet -> Internet : ", counters.PacketToInternet);
  WriteCount(log, "Server messages    : ", counters.ServerMessages);
  WriteCount(log, "Bad    messages    : ", counters.BadMessages);
  WriteCount(log, "Latest BID #       : ", latest_bid);
  log.WriteLine("Software Version   : V1.6");
  log.WriteLine("-------------------------------------");
}

}  // namespace

void WriteRunLog(const fs::path& work_dir, const RunCounters& counters, std::int32_t latest_bid,
                 std::time_t now) {
  const fs::path file = work_dir / kLogFile;
  // A full log starts afresh; the one before stays as TWIRE.LOG.1, so the last bulletin ID
  // and the recent history survive the restart.
  if (FileIsPresent(file) && FileSizeOf(file) >= kRestartSize) {
    RenameFile(file, work_dir / kOldLogFile);
  }
  // A log that is there but read-only or held is not started afresh: its history would be lost.
  const bool appending = UsableFileExists(file);
  TextWriter log(file, appending ? TextWriter::Mode::kAppend : TextWriter::Mode::kCreate);
  if (!appending) log.WriteLine("-- Tidewire LOGfile -- ");
  WriteRecord(log, counters, latest_bid, now);
  log.Close();
}

void ListRunLog(const fs::path& work_dir, Operator& op) {
  const fs::path file = work_dir / kLogFile;
  if (!FileIsPresent(file)) {
    ErrorBox(op, "LOG-File (TWIRE.LOG) does not exist");
    return;
  }
  TextReader log(file, LongLines::kSplit);  // shown, not interpreted
  // Read before testing the end: an empty log still gives one (empty) line.
  do {
    op.StatusLine(log.ReadLine());
  } while (!log.AtEnd());
  log.Close();
}

}  // namespace tidewire::cycle
