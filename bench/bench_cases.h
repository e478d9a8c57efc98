#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "list_limits.h"
#include "pair_folder.h"

namespace bench {

/// The largest list the walk's 16-bit counters take.
inline constexpr int kLongestList = static_cast<int>(tavrik::kInt16Max);

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

/// The calling thread's processor time, user and system, in seconds: on a
/// machine shared with other work it leaves out the time spent waiting.
inline double ThreadCpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

/// Paired runs: each round times a case `a` and a reference `b` over the
/// same files. The ratio is the mean of each round's own ratio, so that a
/// moment when the machine is busy skews one round rather than the sums.
class PairedRounds {
 public:
  void Add(double a, double b) {
    a_ += a;
    b_ += b;
    ratio_ += a / b;
    ++rounds_;
  }
  double MeanA() const { return rounds_ > 0 ? a_ / rounds_ : 0; }
  double MeanB() const { return rounds_ > 0 ? b_ / rounds_ : 0; }
  double MeanRatio() const { return rounds_ > 0 ? ratio_ / rounds_ : 0; }

 private:
  double a_ = 0, b_ = 0, ratio_ = 0;
  int rounds_ = 0;
};

/// The walk case's figures over `pairs` pairs: `wall` and `cpu` pair the
/// walk (a) with the floor (b) in seconds; `load` is the mean seconds of
/// Form_Load within the walk.
std::map<std::string, double> WalkFigures(const PairedRounds& wall, const PairedRounds& cpu,
                                          double load, std::size_t pairs);

/// The shared files of `pairs` pairs of `layout`, made on first use in a folder of their
/// own below the first working directory, which becomes the working
/// directory. All files are at their sources on return.
const PairFolder& FolderOf(std::size_t pairs, Layout layout = Layout::kNested);
/// Removes every folder FolderOf made and makes the directory they were made
/// in the working directory again.
void DropFolders();

/// Writes both list files of the working directory with the folder's pairs
/// in `spelling`, and `extra` (whole lines) after them.
void WriteLists(const PairFolder& folder, Spelling spelling, std::string_view extra = {});
/// "N of M pairs renamed", and `message` when there is one.
std::string MovedReport(const PairFolder& folder, const std::string& message);

/// Stops the case with `what` as its error and marks the run as failed:
/// something measured did not do its work.
void Fail(benchmark::State& state, const std::string& what);
/// True once Fail was called.
bool AnyFailed();

/// Benchmark cases; the argument is a count of pairs or of entries.
/// The walk against the floor: flat names in the working directory, nested
/// Windows-style paths, and the nested paths with every name in other case.
void BM_FlatWalk(benchmark::State& state);
void BM_NestedWalk(benchmark::State& state);
void BM_OtherCaseWalk(benchmark::State& state);
/// Two pairs into and out of a folder of `range(0)` (a power of two) names
/// that differ only in case, against the floor.
void BM_CaseVariants(benchmark::State& state);
void BM_ListLoad(benchmark::State& state);
void BM_PeakMemory(benchmark::State& state);
void BM_HugeListLoad(benchmark::State& state);
/// Start-up with hostile lists (`kind`: 0 fields of 32,767 two-byte
/// characters, 256 MiB; 1 twenty million commas; 2 32,768 entries of text
/// that is not UTF-8; 3 a link to /proc/self/pagemap) in the window or, with
/// `check`, in brennel-check: its peak memory above its idle size.
void BM_HostileListMemory(benchmark::State& state, int kind, bool check);

/// The child process of the memory cases: loads and walks the lists in
/// `folder`, prints "idle_kB peak_kB load_seconds entries error message"
/// (error: the number of the error that ended the walk, or 0) and returns
/// its exit status.
int MemoryChild(const char* folder);
/// The same for a whole brennel-check of `folder`: prints "idle_kB peak_kB
/// check_seconds findings exit_status".
int CheckMemoryChild(const char* folder);

/// One activation walk of `count` pairs of a layout ("flat", "nested", or
/// "other": nested, every name in another case) in a fresh temporary
/// folder, for counting its instructions:
/// valgrind --tool=callgrind --toggle-collect='tavrik::Brennel::Command3_Click()'
///   brennel_bench --walk-once nested 16000
int WalkOnce(const char* layout, const char* count);

/// brennel-check against the walk it foresees, `rounds` times on the same
/// files: the time of a whole check (both lists read, the state, four dry
/// runs, the findings) over the walk's (its load and its click).
int CheckAgainstWalk(const char* layout, const char* count, const char* rounds);

}  // namespace bench
