#include "outbound/export_file.h"

#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/file_layer.h"
#include "base/operator.h"
#include "base/text.h"
#include "config/flag_files.h"
#include "outbound/acknowledgements.h"
#include "outbound/export_lock.h"
#include "outbound/export_message.h"
#include "outbound/reply_file.h"
#include "outbound/reply_packet.h"
#include "outbound/server_requests.h"

namespace tidewire::outbound {

namespace {

// Files the gateway creates in MailinDIR are named in lower case, as LinFBB names them.
constexpr std::string_view kExportFile = "fbbemail";
constexpr std::string_view kExportLock = "fbbemail.lck";
constexpr std::int64_t kSmallestUsefulSize = 6;
constexpr std::size_t kScanBuffer = 64 * 1024;
// While INDEX.OUT is being made: the export file its messages are taken from.
constexpr std::string_view kTakenFromFile = "INDEX.SRC";

std::string ReadFirstLine(const fs::path& path) {
  TextReader in(path);
  std::string line = in.ReadLine();
  in.Close();
  return line;
}

// One pass over the open export file.
class ExportPass {
 public:
  ExportPass(Station& station, const fs::path& export_file, MessageIdSource& ids)
      : station_(station), reader_(export_file, LongLines::kSplit), replies_(station, ids) {}

  // Every message, to the end of the file; at least one is read.
  void ProcessMessages() {
    do {
      ProcessOneMessage();
      station_.op.giveTurn();
    } while (!reader_.AtEnd());
  }

  void Close() {
    station_.Status(" Closing FBB exportfile... (FBBEMAIL)");
    reader_.Close();
    station_.Status(" Closing Indexfile... (INDEX)");
    replies_.CloseIndex();
  }

 private:
  void ProcessOneMessage();
  void ShowFoundUser();
  void ScanForAddressLine();

  Station& station_;
  TextReader reader_;
  ReplyFileWriter replies_;
  ExportMessage message_;
};

void ExportPass::ProcessOneMessage() {
  message_ = ExportMessage{};
  HeaderFields fields = CutHeaderLine(reader_.ReadLine());
  message_.ToField = std::move(fields.ToField);
  message_.Sender = std::move(fields.Sender);
  message_.Title = CleanTitle(reader_.ReadLine());
  if (message_.ToField.find("SERVER") != std::string::npos) {
    AnswerServerMessage(station_, message_, reader_);
    return;
  }
  // An empty call is nobody's, even where the user table holds an empty slot.
  const int found = message_.Sender.empty() ? 0 : station_.users.FindUserByCall(message_.Sender);
  if (found == 0) {
    message_.SkipRest = true;
    if (UnregisteredSenderIsAnswered(message_)) WriteUnregisteredRejection(station_, message_);
  } else {
    station_.CurrentUser = found;
    ShowFoundUser();
    if (message_.ToField.starts_with("INET") || message_.ToField.starts_with("1TWIRE")) {
      ScanForAddressLine();
    } else {
      WriteWrongAddressRejection(station_, message_);
      message_.SkipRest = true;
    }
  }
  if (message_.SkipRest) ReadPastMessage(reader_);
}

void ExportPass::ShowFoundUser() {
  if (station_.AutoGoMode) return;
  const UserRecord& user = station_.users[station_.CurrentUser];
  InformationBox(station_.op,
                 "Found message from:\rUser: >" + message_.Sender + "<\rDatabase:" + user.UserCALL +
                     "\rHomeBBS:" + user.HomeBBS + "\rTo-User:" + message_.ToField +
                     "\rEmail  :" + user.RemailerAccount + "\rSubject:" + message_.Title);
}

void ExportPass::ScanForAddressLine() {
  message_.RouteLine.clear();
  std::optional<std::string> address;
  while (!reader_.AtEnd()) {
    const std::string line = reader_.ReadLine();
    if (reader_.Continues()) continue;  // a piece of a long line marks nothing
    if (IsRouteLine(line)) message_.RouteLine = line;
    // The end line ends the message, whatever else it holds: read as an address line, it would
    // send the next user's message under this one's title.
    if (IsEndLine(line)) break;
    address = AddressFromMarkerLine(line);
    if (address) break;
  }
  // A marker with no address behind it names nowhere to send the message to.
  if (!address || address->empty()) {
    WriteAddressLineRejection(station_, message_);
    // The end line, when it was the stop, has been read already.
    message_.SkipRest = address.has_value();
    return;
  }
  message_.ToField = *address;
  message_.Sender = station_.users[station_.CurrentUser].RemailerAccount;
  if (FileIsPresent(station_.File(config::kAckFlag))) {
    WriteAcknowledgement(station_, message_, *address);
  }
  replies_.WriteMessage(message_, reader_);
}

// The steps after the export file: pack the reply files, then announce the packet.
void FinishPacket(Station& station) {
  PackReplyFiles(station.work_dir, station.op, station.File(kTakenIndexFile));
  WriteRepliesFile(station.work_dir);
}

// What an earlier pass stopped on before its packet was announced: reply files of messages it
// took from the export file (packed now, before this pass's files replace them), or packet
// files without REPLIES. They go out in this pass, whatever the export file holds. Reply files
// of an export file that is still there unchanged were never taken: it is read again instead.
void FinishEarlierPacket(Station& station, const fs::path& export_file) {
  const fs::path taken = station.File(kTakenIndexFile);
  const fs::path taken_from = station.File(kTakenFromFile);
  PutPackedFilesInPlace(station.work_dir);
  if (EntryExists(taken)) {
    if (UsableFileExists(taken_from) && ReadFirstLine(taken_from) == FileIdentity(export_file)) {
      DeleteFile(taken);
    } else {
      station.Status(" Packing reply files of an earlier pass (INDEX)");
      PackReplyFiles(station.work_dir, station.op, taken);
    }
  }
  DeleteFileIfPresent(taken_from);
  WriteRepliesFile(station.work_dir);
}

// Deleting the export file hands its messages over to the reply files: INDEX takes its other
// name first, so a pass stopped from here on still packs them, and which export file they came
// from is noted until it is gone. Should the delete fail, the messages stay the export file's.
void TakeExportMessages(Station& station, const fs::path& export_file) {
  TextWriter from(station.File(kTakenFromFile), TextWriter::Mode::kReplace);
  from.WriteLine(FileIdentity(export_file));
  from.Close();
  RenameFile(station.File(kIndexFile), station.File(kTakenIndexFile));
  station.Status(" Deleting FBB-Exportfile... (FBBEMAIL)");
  try {
    DeleteFile(export_file);
  } catch (const IoError&) {
    try {
      RenameFile(station.File(kTakenIndexFile), station.File(kIndexFile));
    } catch (const IoError&) {
      // The delete's error is the one to show; the note still says the export file is there.
    }
    throw;
  }
  DeleteFile(station.File(kTakenFromFile));
}

// FBB runs as root and makes the export file root's (0644): the gateway reads it, and deletes it
// by its write access to the folder. One it cannot read is an error that says what to do, never
// "not found": the packet users' mail would wait in it for ever.
bool ExportFileIsThere(Station& station, const fs::path& export_file) {
  try {
    return ReadableFileExists(export_file);
  } catch (const IoError&) {
    station.Status(">> Exportfile FBBEMAIL cannot be read: " + export_file.string());
    station.Status("   The gateway's user needs read access to it and write access to " +
                   export_file.parent_path().string() + " (setfacl -m u:<user>:rwx on the folder)");
    throw;
  }
}

void MakeBackup(Station& station, const fs::path& export_file) {
  station.Status(" Creating backup of FBB-Exportfile... (FBBEMAIL)");
  try {
    CopyFile(export_file, station.File("BACKUP") / "FBBEMAIL");
  } catch (const IoError&) {
    // A backup that cannot be written is not reported; the pass goes on.
  }
}

}  // namespace

bool HasDoubleCarriageReturn(const fs::path& path) {
  BinaryReader in(path);
  std::vector<char> buffer(kScanBuffer);
  bool after_cr = false;
  for (;;) {
    const std::size_t got = in.Read(buffer.data(), buffer.size());
    if (got == 0) break;
    for (std::size_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == 26) return false;  // the text ends here
      if (c == '\r' && after_cr) return true;
      after_cr = c == '\r';
    }
  }
  in.Close();
  return false;
}

void ProcessExportFile(Station& station) { ProcessExportFile(station, ProgramMessageIds()); }

void ProcessExportFile(Station& station, MessageIdSource& ids) {
  const fs::path export_file = ResolvePath(station.MailinFile(kExportFile));
  FinishEarlierPacket(station, export_file);
  if (!ExportFileIsThere(station, export_file)) {
    // A lock a killed pass left after deleting the export file would hold FBB off one more pass.
    if (EntryExists(station.MailinFile(kExportLock))) {
      if (std::optional<ExportLock> left =
              ExportLock::Take(station.MailinFile(kExportLock), station.Now())) {
        left->Release();
      }
    }
    station.Status(">> NOT FOUND : Exportfile FBBEMAIL");
    WriteRepliesFile(station.work_dir);
    return;
  }
  std::optional<ExportLock> lock = ExportLock::Take(station.MailinFile(kExportLock), station.Now());
  if (!lock) {
    station.Status(">> LOCKED : Exportfile FBBEMAIL, left for the next pass");
    WriteRepliesFile(station.work_dir);
    return;
  }
  if (FileSizeOf(export_file) < kSmallestUsefulSize) {
    station.Status(" Deleting FBBMAIL-exportfile, Filesize <= 5 (must be wrong)");
    DeleteFile(export_file);
    lock->Release();
    return;
  }
  station.Status(" Validating FBB-exportfile (FBBEMAIL)");
  if (HasDoubleCarriageReturn(export_file)) {
    ErrorBox(station.op,
             "Invalid FBBEMAIL file, please check it. Propably the first message in this file is "
             "damaged");
    throw EndProgram{EndProgram::Reason::kDamagedExportFile};
  }
  MakeBackup(station, export_file);
  // Every reply file is a new name in the working directory; one listing serves them all.
  const FolderNameCache working_names(station.work_dir);
  ExportPass pass(station, export_file, ids);
  pass.ProcessMessages();
  pass.Close();
  TakeExportMessages(station, export_file);
  station.Status(" Creating clean exportfile (FBBEMAIL)");
  CreateEmptyFile(export_file);
  lock->Release();
  FinishPacket(station);
}

}  // namespace tidewire::outbound
