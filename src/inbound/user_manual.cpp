#include "inbound/user_manual.h"

#include <string>

#include "base/file_layer.h"
#include "base/operator.h"
#include "base/text.h"
#include "inbound/import_file.h"

namespace tidewire::inbound {

namespace {

constexpr std::string_view kManualFile = "TWIRE.MAN";

}  // namespace

void SendManual(const fs::path& work_dir, Operator& op, const UserRecord& user) {
  if (IsBlank(user.UserCALL)) {
    WarningBox(op, "The selected record holds no user: the manual was not sent.");
    return;
  }
  const fs::path manual = work_dir / kManualFile;
  if (!FileIsPresent(manual)) {
    ErrorBox(op, "ERROR: Tidewire Manual (TWIRE.MAN) not found!");
    return;
  }
  TextReader in(manual, LongLines::kSplit);
  ImportWriter out = OpenImportFile(work_dir, op, Announce::kSilent);
  out.WriteHeaderLine(ShortHeader(user));
  out.WriteTitleLine("*** TIDEWIRE USER MANUAL ***");
  out.WriteBodyLine("");
  out.WriteBodyLine("Hello " + user.RealName);
  out.WriteBodyLine("This message contains you Tidewire manual");
  out.WriteBodyLine("Please save this message and/or print it out.");
  out.WriteBodyLine("Your email address: " + user.RemailerAccount);
  out.WriteBodyLine(std::string(59, '-'));
  out.WriteBodyLine("");
  do {  // an empty manual still gives one line
    out.WriteBodyLine(in.ReadLine());
  } while (!in.AtEnd());
  out.WriteBodyLine("");
  out.WriteEnd();
  in.Close();
  out.Close();
}

}  // namespace tidewire::inbound
