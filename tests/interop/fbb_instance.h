#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tidewire::interop {

namespace fs = std::filesystem;

// The BBS every instance plays, and its sysop.
inline constexpr const char* kFbbCall = "XX0BBS";
inline constexpr const char* kFbbHRoute = "XX0BBS.#TST.DEU.EU";
inline constexpr const char* kFbbSysop = "XX0SYS";

// One message as FBB keeps it in DIRMES.SYS (or in front of a held message's text).
struct FbbRecord {
  char type = 0;    // 'P', 'B', 'T'
  char status = 0;  // 'N', '$', 'F', 'H', ...
  long number = 0;  // 0 for a held message
  std::string to;
  std::string from;
  std::string route;  // the @BBS field; empty when local
  std::string bid;
  std::string title;
};

// A message FBB held: its record, its file and the text stored behind the record.
struct HeldMessage {
  FbbRecord record;
  fs::path file;
  std::string text;
};

// A private LinFBB (xfbbd) in a temporary folder of its own: configuration, data files, an
// import file and, on request, a forward block that exports the gateway's mail to a file.
// It runs in test mode without console socket, in an empty network namespace where the
// system allows one, so any number of instances can run side by side. The destructor stops
// a running daemon; the daemon also gets SIGTERM when the test process dies.
class FbbInstance {
 public:
  struct Options {
    // The gateway's pseudo call ("INET" or "1TWIRE"): when set, forward.sys, bbs.sys and
    // swapp.sys export mail to it and to SERVER into ExportFile().
    std::optional<std::string> gateway_call;
    // The lines of reject.sys (empty: no rule).
    std::string reject_rules;
    // FBB sleeps 50 ms after every imported message; this preloads a shim that shortens
    // those sleeps, so a file of thousands of messages is imported in seconds. Nothing of
    // what FBB decides changes.
    bool quick_sleeps = false;
  };

  // Whether xfbbd can be found; tests skip without it.
  [[nodiscard]] static bool Installed();

  // Lays out the folders and files and runs xfbbd's first start that creates its data files.
  explicit FbbInstance(Options options);
  FbbInstance() : FbbInstance(Options{}) {}
  ~FbbInstance();
  FbbInstance(const FbbInstance&) = delete;
  FbbInstance& operator=(const FbbInstance&) = delete;

  [[nodiscard]] const fs::path& Root() const { return root_; }
  // The folder of FBB's import file, the gateway's MailinDIR.
  [[nodiscard]] fs::path ImportDir() const { return root_ / "var" / "mail"; }
  [[nodiscard]] fs::path ImportFile() const { return ImportDir() / "mail.in"; }
  [[nodiscard]] fs::path ImportLock() const { return ImportDir() / "mail.lck"; }
  // The export file of the gateway block, in the import folder as the gateway expects it.
  [[nodiscard]] fs::path ExportFile() const { return ImportDir() / "fbbemail"; }
  [[nodiscard]] fs::path ExportLock() const { return ImportDir() / "fbbemail.lck"; }

  // Starts the daemon and waits for "xfbbd ready and running"; false (with Log() telling
  // why) when it does not get there.
  [[nodiscard]] bool Start();
  // SIGTERM, then the exit status once it has ended (1 is a clean shutdown); -1 when none ran.
  int Stop();
  [[nodiscard]] bool Running() const { return pid_ > 0; }
  [[nodiscard]] pid_t Pid() const { return pid_; }

  // Waits until mail.in and mail.lck are both gone, and one second more.
  [[nodiscard]] bool WaitForImport(std::chrono::seconds limit);
  // Waits until the export file holds at least `messages` end lines.
  [[nodiscard]] bool WaitForExport(int messages, std::chrono::seconds limit);
  // Places a file FBB imports, under FBB's lock; false when an unimported one is there.
  [[nodiscard]] bool PutImportFile(const std::string& bytes);
  // Appends to the import file (made when missing) under FBB's lock, as a second program
  // that feeds FBB would; false when FBB held the lock for five seconds.
  [[nodiscard]] bool AppendToImportFile(const std::string& bytes);

  // The message records of DIRMES.SYS, in number order.
  [[nodiscard]] std::vector<FbbRecord> Messages() const;
  // The same without FBB's own notices to the sysop ("*** UNKNOWN ROUTE ***" and the like).
  [[nodiscard]] std::vector<FbbRecord> ImportedMessages() const;
  // The stored text of message `number` (body only, CR LF lines).
  [[nodiscard]] std::string Text(long number) const;
  // The number of lines of that text.
  [[nodiscard]] int BodyLineCount(long number) const;
  // The held messages (mail/*.hld) in name order.
  [[nodiscard]] std::vector<HeldMessage> Held() const;
  // The export file's bytes; empty when there is none.
  [[nodiscard]] std::string ExportBytes() const;
  // What xfbbd printed (first run and daemon).
  [[nodiscard]] std::string Log() const;

 private:
  void LayOut(const Options& options);
  void WriteConfiguration();
  void FirstRun();
  void Reap(std::chrono::milliseconds limit);

  fs::path root_;
  bool quick_sleeps_ = false;
  pid_t pid_ = -1;
  int exit_status_ = -1;
};

// Lines of a CR LF text (a missing last line end still gives the last line).
[[nodiscard]] std::vector<std::string> CrLfLines(const std::string& bytes);

}  // namespace tidewire::interop
