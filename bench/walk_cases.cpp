// The walk cases: the floor, the walk and the other-case walk over the same
// files. A walk consumes its files, so every timed run is followed by an
// untimed Restore and the time is reported by hand (UseManualTime).

#include <filesystem>
#include <map>
#include <memory>

#include "bench_cases.h"
#include "launcher.h"
#include "system_platform.h"

namespace bench {

namespace {

// One set of files per size, made once and shared by the cases, so that
// repetitions time renames rather than file creation.
std::map<std::size_t, std::unique_ptr<PairFolder>>& Folders() {
  static std::map<std::size_t, std::unique_ptr<PairFolder>> folders;
  return folders;
}

struct WalkTime {
  double load = 0;   // Form_Load, both list files
  double click = 0;  // Command3_Click
  double cpu = 0;    // the thread's processor time for both
  std::string message;
};

// What a user does: start the tool in the folder, press Activate.
WalkTime ActivationWalk() {
  WalkTime time;
  tavrik::SystemPlatform platform([&time](const std::string& text) { time.message = text; });
  tavrik::Brennel brennel(platform);
  const double cpu_start = ThreadCpuSeconds();
  const Clock::time_point start = Clock::now();
  brennel.Form_Load();
  time.load = SecondsSince(start);
  const Clock::time_point loaded = Clock::now();
  brennel.Command3_Click();
  time.click = SecondsSince(loaded);
  time.cpu = ThreadCpuSeconds() - cpu_start;
  return time;
}

// Runs the walk and checks that it moved every file; returns false after
// reporting to `state` when it did not.
bool CompleteWalk(benchmark::State& state, const PairFolder& folder, WalkTime& time) {
  time = ActivationWalk();
  if (time.message.empty() && folder.CountMoved() == folder.pairs().size()) return true;
  Fail(state, "the exact-case walk: " + MovedReport(folder, time.message));
  return false;
}

// The same for a list whose names differ in case from the disk. Until the
// file layer matches names without regard to case, the walk stops at the
// first pair; that is a missing feature, reported but not a failed run.
bool CompleteOtherCaseWalk(benchmark::State& state, const PairFolder& folder, WalkTime& time) {
  time = ActivationWalk();
  if (time.message.empty() && folder.CountMoved() == folder.pairs().size()) return true;
  const std::string report =
      "the file layer does not map case yet: " + MovedReport(folder, time.message);
  state.SkipWithError(report.c_str());
  return false;
}

struct FloorTime {
  double wall = 0;
  double cpu = 0;
};

FloorTime TimedFloor(benchmark::State& state, const PairFolder& folder) {
  FloorTime time;
  const double cpu_start = ThreadCpuSeconds();
  const Clock::time_point start = Clock::now();
  FloorWalk(folder.pairs());
  time.wall = SecondsSince(start);
  time.cpu = ThreadCpuSeconds() - cpu_start;
  // Checked as the walk is, so that both leave the same lookups cached.
  if (folder.CountMoved() != folder.pairs().size()) Fail(state, "the floor loop stopped early");
  return time;
}

void SetCounter(benchmark::State& state, const char* name, double value) {
  state.counters[name] = benchmark::Counter(value, benchmark::Counter::kAvgIterations);
}

bool any_failed = false;
std::filesystem::path base;  // where the first folder was made

std::filesystem::path FolderPath(std::size_t pairs) {
  return base / ("pairs-" + std::to_string(pairs));
}

}  // namespace

void Fail(benchmark::State& state, const std::string& what) {
  any_failed = true;
  state.SkipWithError(what.c_str());
}

bool AnyFailed() { return any_failed; }

const PairFolder& FolderOf(std::size_t pairs) {
  // Each size has a folder of its own, the working directory while it is used.
  if (Folders().empty()) base = std::filesystem::current_path();
  const std::filesystem::path folder_path = FolderPath(pairs);
  std::filesystem::create_directories(folder_path);
  std::filesystem::current_path(folder_path);
  std::unique_ptr<PairFolder>& folder = Folders()[pairs];
  if (!folder) {
    folder = std::make_unique<PairFolder>(pairs);
    // Later timed runs then all find the folders' directory blocks grown.
    FloorWalk(folder->pairs());
  }
  folder->Restore();
  return *folder;
}

void DropFolders() {
  if (Folders().empty()) return;
  std::filesystem::current_path(base);
  std::error_code ignored;
  for (const auto& [pairs, folder] : Folders())
    std::filesystem::remove_all(FolderPath(pairs), ignored);
  Folders().clear();
}

// A mod ships both lists with the same pairs, so Form_Load reads both.
void WriteLists(const PairFolder& folder, Spelling spelling, std::string_view extra) {
  const std::string text = folder.ListText(spelling) + std::string(extra);
  WriteTextFile(tavrik::kActivationListFile, text);
  WriteTextFile(tavrik::kDeactivationListFile, text);
}

std::string MovedReport(const PairFolder& folder, const std::string& message) {
  std::string report = std::to_string(folder.CountMoved()) + " of " +
                       std::to_string(folder.pairs().size()) + " pairs renamed";
  if (!message.empty()) report += ", message '" + message + "'";
  return report;
}

// The floor and the walk over the same files, in alternating order.
void BM_ActivationWalk(benchmark::State& state) {
  static int round = 0;
  const auto pairs = static_cast<std::size_t>(state.range(0));
  const PairFolder& folder = FolderOf(pairs);
  WriteLists(folder, Spelling::kExact);
  double floor = 0, walk = 0, load = 0, ratio = 0, cpu_ratio = 0;
  for (auto _ : state) {
    FloorTime floor_time;
    WalkTime time;
    const bool floor_first = round++ % 2 == 0;
    for (int run = 0; run < 2; ++run) {
      if ((run == 0) == floor_first) {
        floor_time = TimedFloor(state, folder);
      } else if (!CompleteWalk(state, folder, time)) {
        return;
      }
      folder.Restore();
    }
    state.SetIterationTime(time.load + time.click);
    floor += floor_time.wall;
    walk += time.load + time.click;
    load += time.load;
    ratio += (time.load + time.click) / floor_time.wall;
    cpu_ratio += time.cpu / floor_time.cpu;
  }
  const double per_pair = 1e6 / static_cast<double>(pairs);
  SetCounter(state, "floor_ms", floor * 1e3);
  SetCounter(state, "walk_ms", walk * 1e3);
  SetCounter(state, "load_ms", load * 1e3);
  SetCounter(state, "walk/floor", ratio);
  SetCounter(state, "cpu_walk/floor", cpu_ratio);
  SetCounter(state, "floor_us/pair", floor * per_pair);
  SetCounter(state, "walk_us/pair", walk * per_pair);
}

// The exact-case walk and the walk of a list whose every name differs in
// case from the disk, over the same files.
void BM_OtherCaseWalk(benchmark::State& state) {
  static int round = 0;
  const auto pairs = static_cast<std::size_t>(state.range(0));
  const PairFolder& folder = FolderOf(pairs);
  double exact = 0, other = 0, ratio = 0;
  for (auto _ : state) {
    WalkTime exact_time, other_time;
    const bool exact_first = round++ % 2 == 0;
    for (int run = 0; run < 2; ++run) {
      if ((run == 0) == exact_first) {
        WriteLists(folder, Spelling::kExact);
        if (!CompleteWalk(state, folder, exact_time)) return;
      } else {
        WriteLists(folder, Spelling::kOtherCase);
        if (!CompleteOtherCaseWalk(state, folder, other_time)) return;
      }
      folder.Restore();
    }
    const double exact_s = exact_time.load + exact_time.click;
    const double other_s = other_time.load + other_time.click;
    state.SetIterationTime(other_s);
    exact += exact_s;
    other += other_s;
    ratio += other_s / exact_s;
  }
  SetCounter(state, "walk_ms", exact * 1e3);
  SetCounter(state, "other_case_ms", other * 1e3);
  SetCounter(state, "other_case/walk", ratio);
}

}  // namespace bench
