#include "interop/fbb_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace tidewire::interop {

namespace {

using tidewire::testing::ReadBytes;
using tidewire::testing::WriteBytes;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kRecordSize = 222;   // DIRMES.SYS record of the amd64 build
constexpr std::size_t kHomeBbsField = 41;  // between the record and the text of a .hld file
// The first start asks "Creating file X (Y/N) ?" for ever when it reads no answer.
constexpr std::size_t kFirstRunOutputLimit = 4 * 1024 * 1024;
constexpr const char* kReady = "xfbbd ready and running";
constexpr const char* kSystemConfig = "/etc/ax25/fbb";

// A program in the usual places; empty when there is none.
std::string FindProgram(const std::string& name) {
  for (const char* dir :
       {"/usr/sbin", "/usr/bin", "/sbin", "/bin", "/usr/local/sbin", "/usr/local/bin"}) {
    const fs::path path = fs::path(dir) / name;
    if (::access(path.c_str(), X_OK) == 0) return path.string();
  }
  return "";
}

// A C string of at most `width` bytes at `at`.
std::string Field(const std::string& bytes, std::size_t at, std::size_t width) {
  const std::string raw = bytes.substr(at, width);
  return raw.substr(0, raw.find('\0'));
}

long LittleEndian64(const std::string& bytes, std::size_t at) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return static_cast<long>(value);
}

FbbRecord ParseRecord(const std::string& bytes) {
  FbbRecord record;
  record.type = bytes[0];
  record.status = bytes[1];
  record.number = LittleEndian64(bytes, 2);
  record.route = Field(bytes, 33, 41);
  record.from = Field(bytes, 74, 7);
  record.to = Field(bytes, 81, 7);
  record.bid = Field(bytes, 88, 13);
  record.title = Field(bytes, 101, 61);
  return record;
}

// A folder name of lower-case letters and digits only: FBB lower-cases the whole path of an
// export file, so an upper-case letter anywhere in it would send the export elsewhere.
fs::path MakeLowerCaseRoot() {
  fs::path base = fs::temp_directory_path();
  const std::string text = base.string();
  if (std::any_of(text.begin(), text.end(), [](char c) { return std::isupper(c) != 0; })) {
    base = "/tmp";
  }
  static std::atomic<int> serial{0};
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "tidewire-fbb-%d-%d-%08x", static_cast<int>(::getpid()),
                  serial++, static_cast<unsigned>(random()));
    const fs::path root = base / name;
    if (::mkdir(root.c_str(), 0700) == 0) return root;
    if (errno != EEXIST) break;
  }
  throw std::runtime_error("cannot make a folder for FBB under " + base.string());
}

// The folder of FBB's helper programs (pg, filter, server, tool) of this architecture.
fs::path FbbLibraryDir() {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/usr/lib", error)) {
    if (fs::is_directory(entry.path() / "fbb" / "tool", error)) return entry.path() / "fbb";
  }
  return "/usr/lib/fbb";
}

// Whether this process may make a network namespace (a container may forbid it).
bool UnshareWorks() {
  static const bool works = [] {
    const std::string unshare = FindProgram("unshare");
    if (unshare.empty()) return false;
    const std::string command = "'" + unshare + "' -n true >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }();
  return works;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

int EndLines(const std::string& bytes) {
  int count = 0;
  for (const std::string& line : CrLfLines(bytes)) {
    if (line.size() >= 3 && line[0] == '/' && std::toupper(line[1]) == 'E' &&
        std::toupper(line[2]) == 'X') {
      ++count;
    }
  }
  return count;
}

}  // namespace

std::vector<std::string> CrLfLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

bool FbbInstance::Installed() { return !FindProgram("xfbbd").empty(); }

FbbInstance::FbbInstance(Options options) : root_(MakeLowerCaseRoot()) {
  ::signal(SIGPIPE, SIG_IGN);  // the first run may stop reading its answers at any time
  quick_sleeps_ = options.quick_sleeps;
  try {
    LayOut(options);
    WriteConfiguration();
    FirstRun();
  } catch (...) {
    std::error_code error;
    fs::remove_all(root_, error);
    throw;
  }
}

FbbInstance::~FbbInstance() {
  if (pid_ > 0) Stop();
  std::error_code error;
  fs::remove_all(root_, error);
}

void FbbInstance::LayOut(const Options& options) {
  const fs::path var = root_ / "var";
  for (const char* dir : {"mail", "binmail"}) {
    for (int i = 0; i < 10; ++i) fs::create_directories(var / dir / ("mail" + std::to_string(i)));
  }
  for (const char* dir : {"oldmail", "log", "sat", "wp", "fbbdos/yapp", "docs"}) {
    fs::create_directories(var / dir);
  }
  const fs::path etc = root_ / "etc";
  fs::create_directories(etc);
  fs::copy(fs::path(kSystemConfig) / "lang", etc / "lang", fs::copy_options::recursive);
  for (const char* name : {"langue.sys", "themes.sys", "cron.sys"}) {
    fs::copy_file(fs::path(kSystemConfig) / name, etc / name);
  }
  WriteBytes(etc / "reject.sys", options.reject_rules);
  WriteBytes(etc / "protect.sys", "");
  std::string forward;
  std::string bbs;
  std::string swapp;
  if (options.gateway_call) {
    const std::string& call = *options.gateway_call;
    forward = "A " + call + "\nP @\nC " + ExportFile().string() + "\nB " + call + "\nF " + call +
              "\n--------\n";
    bbs = "01 " + call + "\n";
    // Without these FBB keeps mail addressed to the pseudo call (or to SERVER) as local mail.
    swapp = "> " + call + " @" + call + "\n> SERVER @" + call + "\n";
  }
  WriteBytes(etc / "forward.sys", forward);
  WriteBytes(etc / "bbs.sys", bbs);
  WriteBytes(etc / "swapp.sys", swapp);
  // One file-forward channel that runs every minute, and a dummy port.
  WriteBytes(etc / "port.sys",
             "# Ports of a test BBS\n"
             "  1      1\n"
             " 1   9         0           115200\n"
             "  0   0    0   0        0     0     0     0      00/01   ----  File-fwd.\n"
             "  1   1    1   dummy    250   2     1     10     15/15   XULWY Dummy\n");
}

void FbbInstance::WriteConfiguration() {
  const std::string r = root_.string();
  const std::string lib = FbbLibraryDir().string();
  // Test mode (no TNC), no questions at log-in, every warning to the sysop; the rest is the
  // package's sample configuration.
  const std::vector<std::pair<std::string, std::string>> keys = {
      {"version", "FBB7.0.11"},
      {"callsign", kFbbHRoute},
      {"ssid", "1"},
      {"qraloc", "JN03QL"},
      {"city", "Testcity"},
      {"name", "Test"},
      {"sysop", kFbbSysop},
      {"sysmail", kFbbSysop},
      {"wpcalls", kFbbSysop},
      {"upbatch", ""},
      {"dwbatch", ""},
      {"data", r + "/var"},
      {"config", r + "/etc"},
      {"messages", r + "/var/mail"},
      {"compressed", r + "/var/binmail"},
      {"fbbdos", "*,*," + r + "/var/fbbdos,*,*,*,*,*"},
      {"yapp", r + "/var/fbbdos/yapp"},
      {"docs", r + "/var/docs"},
      {"pg", lib + "/pg"},
      {"fdir", lib + "/filter"},
      {"sdir", lib + "/server"},
      {"tdir", lib + "/tool"},
      {"import", ImportFile().string()},
      {"logs", "OK"},
      {"test", "OK"},
      {"fbbfwd", "OK 160"},
      {"fbbcomp", "OK 3"},
      {"askinfo", "NO"},
      {"mask", "3616"},
      {"security", "0 4 59"},
      {"warning", "1023"},
      {"housekeeping", "2"},
      {"timeout", "10 20"},
      {"maxdownload", "0 0"},
      {"localtime", "0"},
      {"beacon", "8"},
      {"scroll", "1500 1500 1500"},
      {"fwdheader", "[$c] $$:$R"},
      {"maxbids", "30000"},
      {"lifetime", "30"},
      {"zipcode", "00000"},
      {"unprotoes", "500 5 P"}};
  std::string text;
  for (const auto& [key, value] : keys) text += key + " = " + value + "\n";
  WriteBytes(root_ / "etc" / "fbb.conf", text);
}

// `xfbbd -i -n` answers Y to every "Creating file" question; exit status 2 is success.
void FbbInstance::FirstRun() {
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  const fs::path var = root_ / "var";
  posix_spawn_file_actions_addchdir_np(&actions, var.c_str());
  std::vector<std::string> args = {FindProgram("xfbbd"), "-i", "-n"};
  std::vector<std::string> env = {"FBBCONF=" + (root_ / "etc" / "fbb.conf").string(),
                                  "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "TZ=UTC", "LANG=C"};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, Pointers(args).data(),
                                  Pointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(in[1]);
    ::close(out[0]);
    throw std::runtime_error("cannot start xfbbd: " + std::string(std::strerror(spawned)));
  }
  std::string output;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  bool open = true;
  while (open && output.size() < kFirstRunOutputLimit && Clock::now() < deadline) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    if (::poll(fds, 2, 200) < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLOUT) {
      static const std::string answers = [] {
        std::string text;
        for (int i = 0; i < 512; ++i) text += "Y\n";
        return text;
      }();
      (void)::write(in[1], answers.data(), answers.size());
    }
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      char buffer[8192];
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n > 0) output.append(buffer, static_cast<std::size_t>(n));
      if (n == 0) open = false;
    }
  }
  ::close(in[1]);
  ::close(out[0]);
  if (open) ::kill(pid, SIGKILL);  // talking for ever, or too slow
  int status = 0;
  ::waitpid(pid, &status, 0);
  WriteBytes(root_ / "first-run.log", output.substr(0, 64 * 1024));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 2) {
    throw std::runtime_error("xfbbd's first run failed (status " + std::to_string(status) + "):\n" +
                             output.substr(0, 4096));
  }
}

bool FbbInstance::Start() {
  if (pid_ > 0) return true;
  const fs::path log = root_ / "xfbbd.log";
  const std::size_t log_start = ReadBytes(log).size();
  const int log_fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (log_fd < 0) return false;
  // setpriv makes the daemon go with the test process, even when that one crashes.
  std::vector<std::string> args;
  const std::string setpriv = FindProgram("setpriv");
  if (!setpriv.empty()) args = {setpriv, "--pdeathsig", "TERM"};
  if (UnshareWorks()) {
    args.push_back(FindProgram("unshare"));
    args.push_back("-n");
  }
  args.insert(args.end(), {FindProgram("xfbbd"), "-n", "-v"});
  std::vector<std::string> env = {"FBBCONF=" + (root_ / "etc" / "fbb.conf").string(),
                                  "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "TZ=UTC", "LANG=C"};
  if (quick_sleeps_) env.push_back(std::string("LD_PRELOAD=") + TIDEWIRE_FBB_QUICK_SLEEP);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, log_fd, 1);
  posix_spawn_file_actions_adddup2(&actions, log_fd, 2);
  const fs::path var = root_ / "var";
  posix_spawn_file_actions_addchdir_np(&actions, var.c_str());
  const int spawned = posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, Pointers(args).data(),
                                  Pointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(log_fd);
  if (spawned != 0) {
    pid_ = -1;
    return false;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < deadline) {
    if (ReadBytes(log).find(kReady, log_start) != std::string::npos) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Stop();
  return false;
}

int FbbInstance::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  Reap(std::chrono::seconds(10));
  return exit_status_;
}

void FbbInstance::Reap(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno != EINTR)) break;
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  pid_ = -1;
}

bool FbbInstance::WaitForImport(std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (fs::exists(ImportFile()) || fs::exists(ImportLock())) {
    if (Clock::now() >= deadline || pid_ <= 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  return true;
}

bool FbbInstance::WaitForExport(int messages, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (EndLines(ExportBytes()) < messages) {
    if (Clock::now() >= deadline || pid_ <= 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  // FBB may still be writing the last message; its lock says when it is done.
  while (fs::exists(ExportLock()) && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

bool FbbInstance::PutImportFile(const std::string& bytes) {
  const int lock = ::open(ImportLock().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (lock < 0) return false;
  ::close(lock);
  const bool free = !fs::exists(ImportFile());
  if (free) WriteBytes(ImportFile(), bytes);
  fs::remove(ImportLock());
  return free;
}

bool FbbInstance::AppendToImportFile(const std::string& bytes) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  int lock = -1;
  while ((lock = ::open(ImportLock().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)) < 0) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::close(lock);
  WriteBytes(ImportFile(), ReadBytes(ImportFile()) + bytes);
  fs::remove(ImportLock());
  return true;
}

std::vector<FbbRecord> FbbInstance::Messages() const {
  const std::string bytes = ReadBytes(root_ / "var" / "dirmes.sys");
  std::vector<FbbRecord> records;
  for (std::size_t at = kRecordSize; at + kRecordSize <= bytes.size(); at += kRecordSize) {
    records.push_back(ParseRecord(bytes.substr(at, kRecordSize)));
  }
  return records;
}

std::vector<FbbRecord> FbbInstance::ImportedMessages() const {
  std::vector<FbbRecord> records = Messages();
  std::erase_if(records,
                [](const FbbRecord& r) { return r.from == kFbbCall && r.to == kFbbSysop; });
  return records;
}

std::string FbbInstance::Text(long number) const {
  char name[32];
  std::snprintf(name, sizeof name, "m_%06ld.mes", number);
  return ReadBytes(ImportDir() / ("mail" + std::to_string(number % 10)) / name);
}

int FbbInstance::BodyLineCount(long number) const {
  return static_cast<int>(CrLfLines(Text(number)).size());
}

std::vector<HeldMessage> FbbInstance::Held() const {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(ImportDir())) {
    if (entry.path().extension() == ".hld") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<HeldMessage> held;
  for (const fs::path& file : files) {
    const std::string bytes = ReadBytes(file);
    if (bytes.size() < kRecordSize + kHomeBbsField) continue;
    held.push_back({ParseRecord(bytes.substr(0, kRecordSize)), file,
                    bytes.substr(kRecordSize + kHomeBbsField)});
  }
  return held;
}

std::string FbbInstance::ExportBytes() const { return ReadBytes(ExportFile()); }

std::string FbbInstance::Log() const {
  return ReadBytes(root_ / "first-run.log") + ReadBytes(root_ / "xfbbd.log");
}

}  // namespace tidewire::interop
