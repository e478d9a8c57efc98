#include "fault_injection.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>

namespace fault_injection {

namespace {

struct Fault {
  int number = 0;  // 0: not armed
  int countdown = 0;
  bool every = false;
  const char* path = nullptr;  // only calls on this path fail
};

std::array<Fault, static_cast<int>(Call::kCount)> faults;

struct ReadFault {
  int number = 0;  // 0: not armed
  std::size_t left = 0;
};

ReadFault read_fault;

int kill_countdown = 0;  // 0: not armed

// Kills the process when this is the call ArmKill named.
void KillIfArmed() {
  if (kill_countdown > 0 && --kill_countdown == 0) std::raise(SIGKILL);
}

std::array<int, static_cast<int>(Call::kCount)> calls;

// True when this call of `call` is to fail; sets errno then.
bool Fails(Call call, const char* path = nullptr) {
  ++calls[static_cast<int>(call)];
  Fault& fault = faults[static_cast<int>(call)];
  if (fault.number == 0) return false;
  if (fault.path != nullptr) {
    if (path == nullptr || std::strcmp(path, fault.path) != 0) return false;
    errno = fault.number;
    return true;
  }
  if (!fault.every && --fault.countdown > 0) return false;
  errno = fault.number;
  if (!fault.every) fault.number = 0;
  return true;
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// The counted hook: counting while `counting` and not `paused`.
bool counting = false, paused = false;
int counted = 0, change_at = 0;
std::function<void()> change;
std::vector<NameChange> name_changes;

// Every counted call comes here first: the change runs before the one named.
void Before() {
  if (!counting || paused) return;
  if (++counted != change_at) return;
  const Pause pause;
  if (change) change();
}

// Where `name` in the folder `dir` is, by the folder's path as it is now.
std::string PathOf(int dir, const char* name) {
  if (std::strncmp(name, "/proc/self/fd/", 14) == 0) {  // a file held by descriptor
    char held[PATH_MAX];
    const ssize_t got = readlink(name, held, sizeof held - 1);
    if (got > 0) return std::string(held, static_cast<std::size_t>(got));
  }
  if (name[0] == '/') return name;
  char folder[PATH_MAX] = "";
  if (dir == AT_FDCWD) {
    if (getcwd(folder, sizeof folder) == nullptr) folder[0] = 0;
  } else {
    char link[32];
    snprintf(link, sizeof link, "/proc/self/fd/%d", dir);
    const ssize_t got = readlink(link, folder, sizeof folder - 1);
    folder[got < 0 ? 0 : got] = 0;
  }
  return std::string(folder) + "/" + name;
}

// Records a counted rename, link or unlink around the real call `call`.
template <typename Call>
int Recorded(const char* kind, int from_dir, const char* from, int to_dir, const char* to,
             Call call) {
  Before();
  if (!counting || paused) return call();
  NameChange record;
  {
    const Pause pause;
    record.call = counted;
    record.kind = kind;
    record.from = PathOf(from_dir, from);
    if (to != nullptr) record.to = PathOf(to_dir, to);
    static const auto stat_at = Next<int (*)(int, const char*, struct stat*, int)>("fstatat");
    struct stat status;
    record.folder =
        stat_at(from_dir, from, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
  }
  const int result = call();
  const int number = errno;
  record.error = result == 0 ? 0 : number;
  name_changes.push_back(std::move(record));
  errno = number;
  return result;
}

}  // namespace

Pause::Pause() : was_(paused) { paused = true; }
Pause::~Pause() { paused = was_; }

void ArmBefore(int nth, std::function<void()> change_then) {
  counting = true;
  counted = 0;
  change_at = nth;
  change = std::move(change_then);
}

void StopCounting() {
  counting = false;
  change = {};
}

int Counted() { return counted; }
const std::vector<NameChange>& NameChanges() { return name_changes; }
void ClearNameChanges() { name_changes.clear(); }

void Arm(Call call, int number, int nth) {
  faults[static_cast<int>(call)] = Fault{number, nth, nth == 0};
}

void ArmPath(Call call, int number, const char* path) {
  faults[static_cast<int>(call)] = Fault{number, 0, true, path};
}

void ArmRead(int number, std::size_t bytes) { read_fault = ReadFault{number, bytes}; }

void ArmKill(int nth) { kill_countdown = nth; }

int Calls(Call call) { return calls[static_cast<int>(call)]; }

void DisarmAll() {
  calls = {};
  faults = {};
  read_fault = {};
  kill_countdown = 0;
  StopCounting();
}

}  // namespace fault_injection

using fault_injection::Before;
using fault_injection::Call;
using fault_injection::Fails;
using fault_injection::KillIfArmed;
using fault_injection::Next;
using fault_injection::read_fault;
using fault_injection::Recorded;

extern "C" {

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) noexcept {
  return Recorded("renameat2", from_dir, from, to_dir, to, [&] {
    KillIfArmed();
    if (Fails(Call::kRenameat2)) return -1;
    static const auto next =
        Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    return next(from_dir, from, to_dir, to, flags);
  });
}

int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) noexcept {
  return Recorded("linkat", from_dir, from, to_dir, to, [&] {
    KillIfArmed();
    if (Fails(Call::kLinkat)) return -1;
    static const auto next = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
    return next(from_dir, from, to_dir, to, flags);
  });
}

int unlinkat(int dir, const char* path, int flags) noexcept {
  return Recorded("unlinkat", dir, path, dir, nullptr, [&] {
    KillIfArmed();
    if (Fails(Call::kUnlinkat)) return -1;
    static const auto next = Next<int (*)(int, const char*, int)>("unlinkat");
    return next(dir, path, flags);
  });
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) noexcept {
  return Recorded("renameat", from_dir, from, to_dir, to, [&] {
    KillIfArmed();
    if (Fails(Call::kRenameat)) return -1;
    static const auto next = Next<int (*)(int, const char*, int, const char*)>("renameat");
    return next(from_dir, from, to_dir, to);
  });
}

int fstatat(int dir, const char* path, struct stat* status, int flags) noexcept {
  Before();
  if (Fails(Call::kFstatat, path)) return -1;
  static const auto next = Next<int (*)(int, const char*, struct stat*, int)>("fstatat");
  return next(dir, path, status, flags);
}

int openat(int dir, const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
  }
  Before();
  if (Fails(Call::kOpenat, path)) return -1;
  static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
  return next(dir, path, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t count) {
  Before();
  const bool armed = read_fault.number != 0;
  if (armed && read_fault.left == 0) {
    errno = read_fault.number;
    return -1;
  }
  if (armed && count > read_fault.left) count = read_fault.left;
  static const auto next = Next<ssize_t (*)(int, void*, size_t)>("read");
  const ssize_t got = next(fd, buffer, count);
  if (armed && got > 0) read_fault.left -= static_cast<size_t>(got);
  return got;
}

// Counted only: a listing (its reads follow at once), folders and links
// made, and inotify's calls.
DIR* fdopendir(int fd) {
  Before();
  static const auto next = Next<DIR* (*)(int)>("fdopendir");
  return next(fd);
}

int mkdirat(int dir, const char* path, mode_t mode) noexcept {
  Before();
  static const auto next = Next<int (*)(int, const char*, mode_t)>("mkdirat");
  return next(dir, path, mode);
}

int symlinkat(const char* link, int dir, const char* path) noexcept {
  Before();
  static const auto next = Next<int (*)(const char*, int, const char*)>("symlinkat");
  return next(link, dir, path);
}

int inotify_init1(int flags) noexcept {
  Before();
  static const auto next = Next<int (*)(int)>("inotify_init1");
  return next(flags);
}

int inotify_add_watch(int fd, const char* path, uint32_t mask) noexcept {
  Before();
  static const auto next = Next<int (*)(int, const char*, uint32_t)>("inotify_add_watch");
  return next(fd, path, mask);
}

int inotify_rm_watch(int fd, int watch) noexcept {
  Before();
  static const auto next = Next<int (*)(int, int)>("inotify_rm_watch");
  return next(fd, watch);
}

}  // extern "C"
