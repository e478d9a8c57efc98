#include "fault_injection.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
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

}  // namespace

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
}

}  // namespace fault_injection

using fault_injection::Call;
using fault_injection::Fails;
using fault_injection::KillIfArmed;
using fault_injection::Next;
using fault_injection::read_fault;

extern "C" {

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) noexcept {
  KillIfArmed();
  if (Fails(Call::kRenameat2)) return -1;
  static const auto next = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  return next(from_dir, from, to_dir, to, flags);
}

int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) noexcept {
  KillIfArmed();
  if (Fails(Call::kLinkat)) return -1;
  static const auto next = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
  return next(from_dir, from, to_dir, to, flags);
}

int unlinkat(int dir, const char* path, int flags) noexcept {
  KillIfArmed();
  if (Fails(Call::kUnlinkat)) return -1;
  static const auto next = Next<int (*)(int, const char*, int)>("unlinkat");
  return next(dir, path, flags);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) noexcept {
  KillIfArmed();
  if (Fails(Call::kRenameat)) return -1;
  static const auto next = Next<int (*)(int, const char*, int, const char*)>("renameat");
  return next(from_dir, from, to_dir, to);
}

int fstatat(int dir, const char* path, struct stat* status, int flags) noexcept {
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
  if (Fails(Call::kOpenat, path)) return -1;
  static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
  return next(dir, path, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t count) {
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

}  // extern "C"
