// tidewire-fake-soup: a scripted stand-in for the SOUP client SOUPER95, for the tests. It
// honours the gateway's three command lines and files without any network: a folder plays the
// Internet.
//
//   tidewire-fake-soup [-r] -s SERVER [USER [PASSWORD]]        send the reply packet (REPLIES)
//   tidewire-fake-soup [-r] -c 0 SERVER [USER [PASSWORD]]      mark the waiting mail read
//   tidewire-fake-soup [-r] -k LIMIT SERVER [USER [PASSWORD]]  fetch mail and news
//
// Environment:
//   TIDEWIRE_SOUP_SERVER  the folder standing in for the servers: its "inbox" holds the SOUP
//                         message files a fetch brings (0000000.MSG mail, further .MSG files
//                         news); a send puts the packet files into its "sent" folder.
//   TIDEWIRE_SOUP_LOG     a file to which every run appends one line: its arguments, then
//                         NNTPSERVER, HOME, the working folder and its process id, separated
//                         by " | ".
//   TIDEWIRE_SOUP_HANG    "send", "mark", "fetch" or "all": that run never ends by itself.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMailFile = "0000000.MSG";

struct Request {
  bool leave_copy = false;
  std::string run;  // "send", "mark" or "fetch"
  std::string server;
  std::string user;
};

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

void Say(const std::string& text) { std::printf("tidewire-fake-soup: %s\n", text.c_str()); }

bool ParseArguments(const std::vector<std::string>& args, Request& request) {
  std::size_t i = 0;
  if (i < args.size() && args[i] == "-r") {
    request.leave_copy = true;
    ++i;
  }
  if (i >= args.size()) return false;
  if (args[i] == "-s") {
    request.run = "send";
    i += 1;
  } else if (args[i] == "-c" && i + 1 < args.size()) {
    request.run = "mark";
    i += 2;
  } else if (args[i] == "-k" && i + 1 < args.size()) {
    request.run = "fetch";
    i += 2;
  } else {
    return false;
  }
  if (i >= args.size()) return false;
  request.server = args[i];
  if (i + 1 < args.size()) request.user = args[i + 1];
  return true;
}

void LogRun(const std::vector<std::string>& args) {
  const std::string log = Environment("TIDEWIRE_SOUP_LOG");
  if (log.empty()) return;
  std::string line;
  for (const std::string& arg : args) line += (line.empty() ? "" : " ") + arg;
  std::error_code error;
  line += " | NNTPSERVER=" + Environment("NNTPSERVER") + " | HOME=" + Environment("HOME") +
          " | cwd=" + fs::current_path(error).string() + " | pid=" + std::to_string(getpid()) +
          "\n";
  if (std::FILE* file = std::fopen(log.c_str(), "ab")) {
    std::fputs(line.c_str(), file);
    std::fclose(file);
  }
}

// Appends a file's bytes to another, creating it; false when either cannot be used.
bool AppendFile(const fs::path& from, const fs::path& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  std::FILE* out = std::fopen(to.c_str(), "ab");
  if (out == nullptr) {
    std::fclose(in);
    return false;
  }
  char buffer[8192];
  bool ok = true;
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    ok = ok && std::fwrite(buffer, 1, n, out) == n;
  }
  ok = ok && std::ferror(in) == 0;
  std::fclose(in);
  return std::fclose(out) == 0 && ok;
}

std::vector<std::string> PacketFiles() {
  std::vector<std::string> names;
  std::FILE* replies = std::fopen("REPLIES", "rb");
  if (replies == nullptr) return names;
  char line[256];
  while (std::fgets(line, sizeof line, replies) != nullptr) {
    const std::string_view text(line);
    const std::size_t tab = text.find('\t');
    if (tab != std::string_view::npos && tab > 0) {
      names.push_back(std::string(text.substr(0, tab)) + ".MSG");
    }
  }
  std::fclose(replies);
  return names;
}

int Send(const Request& request, const fs::path& server) {
  if (!fs::exists("REPLIES")) {
    Say("no REPLIES, nothing to send");
    return 0;
  }
  std::error_code error;
  if (!server.empty()) fs::create_directories(server / "sent", error);
  for (const std::string& name : PacketFiles()) {
    if (!fs::exists(name)) continue;
    const auto size = fs::file_size(name, error);
    if (!server.empty() && !AppendFile(name, server / "sent" / name)) {
      Say("cannot send " + name);
      return 1;
    }
    Say("sent " + name + " (" + std::to_string(size) + " bytes) to " + request.server + " as " +
        request.user);
    fs::remove(name, error);
  }
  fs::remove("REPLIES", error);
  return 0;
}

int MarkRead(const fs::path& server) {
  std::error_code error;
  const bool marked = !server.empty() && fs::remove(server / "inbox" / kMailFile, error);
  Say(marked ? "marked the waiting mail read" : "no waiting mail to mark");
  return 0;
}

int Fetch(const Request& request, const fs::path& server) {
  const fs::path inbox = server / "inbox";
  std::error_code error;
  if (server.empty() || !fs::is_directory(inbox, error)) {
    Say("nothing to fetch");
    return 0;
  }
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(inbox, error)) {
    if (entry.is_regular_file(error) && entry.path().extension() == ".MSG") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    if (!AppendFile(file, name)) {
      Say("cannot write " + name);
      return 1;
    }
    Say("fetched " + name + " from " + request.server);
    // Mail stays on the server only when asked to; news is read once.
    if (!(request.leave_copy && name == kMailFile)) fs::remove(file, error);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  LogRun(args);
  Request request;
  if (!ParseArguments(args, request)) {
    std::fprintf(
        stderr, "usage: tidewire-fake-soup [-r] (-s | -c 0 | -k LIMIT) SERVER [USER [PASSWORD]]\n");
    return 2;
  }
  const std::string hang = Environment("TIDEWIRE_SOUP_HANG");
  if (hang == request.run || hang == "all") {
    Say("hanging in the " + request.run + " run");
    std::fflush(stdout);
    for (;;) pause();
  }
  const fs::path server = Environment("TIDEWIRE_SOUP_SERVER");
  if (request.run == "send") return Send(request, server);
  if (request.run == "mark") return MarkRead(server);
  return Fetch(request, server);
}
