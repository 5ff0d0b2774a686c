// Preloaded into tidewire-console by the fault tests: the Nth open, read, write, rename, fsync,
// close or unlink of a file below TIDEWIRE_FAULT_DIR fails as a full disk, a refused access or a
// broken disk would make it fail. TIDEWIRE_FAULT="op:N" picks the call; each failure is logged to
// TIDEWIRE_FAULT_LOG. Other programs (the SOUP client the console starts) are left alone.
// TIDEWIRE_CRASH="op:N" instead kills the program with SIGKILL right after its Nth call of that
// kind has been carried out, as a power cut or an operator's kill would stop it.
// TIDEWIRE_FAULT_CLOCK_SPEED=N makes the console's steady clock run N times as fast, so the
// AutoGO countdown of a pass takes a fraction of its four seconds.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kMaxFds = 4096;
char tracked[kMaxFds];
char names[kMaxFds][160];  // the path each tracked descriptor was opened with, for the log
constexpr int kKinds = 7;
int counts[kKinds];
const char* const kOps[kKinds] = {"open", "read", "write", "rename", "fsync", "close", "unlink"};
const int kErrors[kKinds] = {EACCES, EIO, ENOSPC, EACCES, EIO, EIO, EACCES};

int Active() {
  static int active = -1;
  if (active < 0) active = strcmp(program_invocation_short_name, "tidewire-console") == 0;
  return active;
}

int Below(const char* path) {
  const char* dir = getenv("TIDEWIRE_FAULT_DIR");
  return Active() && dir != nullptr && path != nullptr && strncmp(path, dir, strlen(dir)) == 0;
}

// Whether the variable names this call ("op:N") as the current count of its kind.
int Named(const char* variable, int op) {
  const char* point = getenv(variable);
  if (point == nullptr) return 0;
  const size_t length = strlen(kOps[op]);
  if (strncmp(point, kOps[op], length) != 0 || point[length] != ':') return 0;
  return atoi(point + length + 1) == counts[op];
}

void Log(const char* event, int op, const char* what) {
  const char* log = getenv("TIDEWIRE_FAULT_LOG");
  if (log == nullptr) return;
  FILE* out = fopen(log, "a");
  if (out == nullptr) return;
  fprintf(out, "%s %s %d %s\n", event, kOps[op], counts[op], what);
  fclose(out);
}

// Whether this call is the one to fail; counts it.
int Fails(int op, const char* what) {
  ++counts[op];
  if (!Named("TIDEWIRE_FAULT", op)) return 0;
  Log("fail", op, what);
  errno = kErrors[op];
  return 1;
}

// After the call that Fails counted: dies here when it is the crash point.
void CrashPoint(int op, const char* what) {
  if (!Named("TIDEWIRE_CRASH", op)) return;
  Log("crash", op, what);
  kill(getpid(), SIGKILL);
}

int Tracked(int fd) { return fd >= 0 && fd < kMaxFds && tracked[fd]; }

const char* NameOf(int fd) { return Tracked(fd) ? names[fd] : "fd"; }

// With TIDEWIRE_FAULT_COUNTS, how many calls of each kind the program made, at its end.
__attribute__((destructor)) void WriteCounts() {
  const char* path = getenv("TIDEWIRE_FAULT_COUNTS");
  if (path == nullptr || !Active()) return;
  FILE* out = fopen(path, "w");
  if (out == nullptr) return;
  for (int op = 0; op < kKinds; ++op) fprintf(out, "%s %d\n", kOps[op], counts[op]);
  fclose(out);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  static int (*real)(const char*, int, ...) = nullptr;
  if (real == nullptr) real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  const int below = Below(path);
  if (below && Fails(0, path)) return -1;
  const int fd = real(path, flags, mode);
  if (fd >= 0 && fd < kMaxFds) {
    tracked[fd] = (char)below;
    if (below) snprintf(names[fd], sizeof names[fd], "%s", path);
  }
  if (below) CrashPoint(0, path);
  return fd;
}

ssize_t read(int fd, void* buffer, size_t size) {
  static ssize_t (*real)(int, void*, size_t) = nullptr;
  if (real == nullptr) real = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  const int tracked_fd = Tracked(fd);
  if (tracked_fd && Fails(1, NameOf(fd))) return -1;
  const ssize_t n = real(fd, buffer, size);
  if (tracked_fd) CrashPoint(1, NameOf(fd));
  return n;
}

ssize_t write(int fd, const void* buffer, size_t size) {
  static ssize_t (*real)(int, const void*, size_t) = nullptr;
  if (real == nullptr) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  const int tracked_fd = Tracked(fd);
  if (tracked_fd && Fails(2, NameOf(fd))) return -1;
  const ssize_t n = real(fd, buffer, size);
  if (tracked_fd) CrashPoint(2, NameOf(fd));
  return n;
}

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*) = nullptr;
  if (real == nullptr) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  const int below = Below(from) || Below(to);
  if (below && Fails(3, to)) return -1;
  const int result = real(from, to);
  if (below) CrashPoint(3, to);
  return result;
}

int fsync(int fd) {
  static int (*real)(int) = nullptr;
  if (real == nullptr) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  const int tracked_fd = Tracked(fd);
  if (tracked_fd && Fails(4, NameOf(fd))) return -1;
  const int result = real(fd);
  if (tracked_fd) CrashPoint(4, NameOf(fd));
  return result;
}

int clock_gettime(clockid_t clock, struct timespec* now) {
  static int (*real)(clockid_t, struct timespec*) = nullptr;
  if (real == nullptr)
    real = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
  const int result = real(clock, now);
  const char* speed_text = getenv("TIDEWIRE_FAULT_CLOCK_SPEED");
  if (result != 0 || speed_text == nullptr || !Active() || clock != CLOCK_MONOTONIC) return result;
  const long long speed = atoll(speed_text);
  static long long start = -1;
  const long long ns = (long long)now->tv_sec * 1000000000LL + now->tv_nsec;
  if (start < 0) start = ns;
  const long long fast = start + (ns - start) * (speed > 0 ? speed : 1);
  now->tv_sec = (time_t)(fast / 1000000000LL);
  now->tv_nsec = (long)(fast % 1000000000LL);
  return result;
}

int unlink(const char* path) {
  static int (*real)(const char*) = nullptr;
  if (real == nullptr) real = (int (*)(const char*))dlsym(RTLD_NEXT, "unlink");
  const int below = Below(path);
  if (below && Fails(6, path)) return -1;
  const int result = real(path);
  if (below) CrashPoint(6, path);
  return result;
}

int close(int fd) {
  static int (*real)(int) = nullptr;
  if (real == nullptr) real = (int (*)(int))dlsym(RTLD_NEXT, "close");
  const int was = Tracked(fd);
  char name[160];
  snprintf(name, sizeof name, "%s", NameOf(fd));
  if (fd >= 0 && fd < kMaxFds) tracked[fd] = 0;
  if (was && Fails(5, name)) {
    real(fd);  // the descriptor is gone either way, as after a failed close
    errno = kErrors[5];
    return -1;
  }
  const int result = real(fd);
  if (was) CrashPoint(5, name);
  return result;
}

}  // extern "C"
