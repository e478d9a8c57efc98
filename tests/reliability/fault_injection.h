#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Makes the file system calls of the real POSIX layer fail on demand. The
// test binary defines these libc functions itself, so the product code calls
// them; unless a fault is armed they pass through to the C library.
namespace fault_injection {

enum class Call { kRenameat2, kLinkat, kUnlinkat, kRenameat, kFstatat, kOpenat, kCount };

/// The `nth` call (1-based) of `call` from now on fails with `number` and
/// does nothing; `nth` 0 makes every call fail.
void Arm(Call call, int number, int nth = 1);

/// Every call of `call` on `path` (its first path argument, a name in the
/// folder it is relative to) fails with `number`, whatever the order of the
/// calls before it.
void ArmPath(Call call, int number, const char* path);

/// Reads, from any file, deliver `bytes` bytes in all (a read that would pass
/// that mark returns less), then every read fails with `number`: a device
/// that fails part-way through a file.
void ArmRead(int number, std::size_t bytes);

/// The `nth` call (1-based) from now on that changes a name (a rename, a
/// link or an unlink) kills the process before it is made, as a SIGKILL
/// from outside would at that moment.
void ArmKill(int nth);

/// How many times `call` was made since the last DisarmAll.
int Calls(Call call);

/// Every call passes through again, uncounted.
void DisarmAll();

/// Counts, from now on, every file system call the walk makes (those above,
/// and listings, folder and link creation, inotify's), and just before the
/// `nth` (1-based; 0: never) runs `change` once, as another program would
/// act at that moment. The change's own calls, and those made while a Pause
/// lives, pass through uncounted.
void ArmBefore(int nth, std::function<void()> change = {});
/// Counting stops (and ArmBefore starts it again, from 0).
void StopCounting();
/// The calls counted since ArmBefore.
int Counted();

/// A rename, link or unlink that was counted, as the call reached it.
struct NameChange {
  int call = 0;          // its number among the counted calls
  std::string kind;      // the function called
  std::string from, to;  // absolute paths; `to` empty for an unlink
  bool folder = false;   // what `from` named was a folder
  int error = 0;         // 0: done
};
/// Every one since the last ClearNameChanges.
const std::vector<NameChange>& NameChanges();
void ClearNameChanges();

/// The calls made while it lives are neither counted nor recorded.
class Pause {
 public:
  Pause();
  ~Pause();
  Pause(const Pause&) = delete;
  Pause& operator=(const Pause&) = delete;

 private:
  bool was_;
};

/// Faults armed for the life of the object.
class Scope {
 public:
  Scope() = default;
  ~Scope() { DisarmAll(); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};

}  // namespace fault_injection
