// Preloaded into tidewire-console by the fault tests: the Nth open, read, write, rename, fsync or
// close of a file below TIDEWIRE_FAULT_DIR fails as a full disk, a refused access or a broken
// disk would make it fail. TIDEWIRE_FAULT="op:N" picks the call; each failure is logged to
// TIDEWIRE_FAULT_LOG. Other programs (the SOUP client the console starts) are left alone.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr int kMaxFds = 4096;
char tracked[kMaxFds];
int counts[6];
const char* const kOps[6] = {"open", "read", "write", "rename", "fsync", "close"};
const int kErrors[6] = {EACCES, EIO, ENOSPC, EACCES, EIO, EIO};

int Active() {
  static int active = -1;
  if (active < 0) active = strcmp(program_invocation_short_name, "tidewire-console") == 0;
  return active;
}

int Below(const char* path) {
  const char* dir = getenv("TIDEWIRE_FAULT_DIR");
  return Active() && dir != nullptr && path != nullptr && strncmp(path, dir, strlen(dir)) == 0;
}

// Whether this call is the one to fail; counts it.
int Fails(int op, const char* what) {
  const char* fault = getenv("TIDEWIRE_FAULT");
  ++counts[op];
  if (fault == nullptr) return 0;
  const size_t length = strlen(kOps[op]);
  if (strncmp(fault, kOps[op], length) != 0 || fault[length] != ':') return 0;
  if (atoi(fault + length + 1) != counts[op]) return 0;
  const char* log = getenv("TIDEWIRE_FAULT_LOG");
  if (log != nullptr) {
    FILE* out = fopen(log, "a");
    if (out != nullptr) {
      fprintf(out, "%s %d %s\n", kOps[op], counts[op], what);
      fclose(out);
    }
  }
  errno = kErrors[op];
  return 1;
}

int Tracked(int fd) { return fd >= 0 && fd < kMaxFds && tracked[fd]; }

// With TIDEWIRE_FAULT_COUNTS, how many calls of each kind the program made, at its end.
__attribute__((destructor)) void WriteCounts() {
  const char* path = getenv("TIDEWIRE_FAULT_COUNTS");
  if (path == nullptr || !Active()) return;
  FILE* out = fopen(path, "w");
  if (out == nullptr) return;
  for (int op = 0; op < 6; ++op) fprintf(out, "%s %d\n", kOps[op], counts[op]);
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
  if (fd >= 0 && fd < kMaxFds) tracked[fd] = (char)below;
  return fd;
}

ssize_t read(int fd, void* buffer, size_t size) {
  static ssize_t (*real)(int, void*, size_t) = nullptr;
  if (real == nullptr) real = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  if (Tracked(fd) && Fails(1, "fd")) return -1;
  return real(fd, buffer, size);
}

ssize_t write(int fd, const void* buffer, size_t size) {
  static ssize_t (*real)(int, const void*, size_t) = nullptr;
  if (real == nullptr) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  if (Tracked(fd) && Fails(2, "fd")) return -1;
  return real(fd, buffer, size);
}

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*) = nullptr;
  if (real == nullptr) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  if ((Below(from) || Below(to)) && Fails(3, to)) return -1;
  return real(from, to);
}

int fsync(int fd) {
  static int (*real)(int) = nullptr;
  if (real == nullptr) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  if (Tracked(fd) && Fails(4, "fd")) return -1;
  return real(fd);
}

int close(int fd) {
  static int (*real)(int) = nullptr;
  if (real == nullptr) real = (int (*)(int))dlsym(RTLD_NEXT, "close");
  const int was = Tracked(fd);
  if (fd >= 0 && fd < kMaxFds) tracked[fd] = 0;
  if (was && Fails(5, "fd")) {
    real(fd);  // the descriptor is gone either way, as after a failed close
    errno = kErrors[5];
    return -1;
  }
  return real(fd);
}

}  // extern "C"
