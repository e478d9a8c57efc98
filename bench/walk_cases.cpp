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

bool any_failed = false;
std::filesystem::path base;  // where the first folder was made

std::filesystem::path FolderPath(std::size_t pairs) {
  return base / ("pairs-" + std::to_string(pairs));
}

}  // namespace

std::map<std::string, double> WalkFigures(const PairedRounds& wall, const PairedRounds& cpu,
                                          double load, std::size_t pairs) {
  const double per_pair = 1e6 / static_cast<double>(pairs);
  return {{"floor_ms", wall.MeanB() * 1e3},
          {"walk_ms", wall.MeanA() * 1e3},
          {"load_ms", load * 1e3},
          {"walk/floor", wall.MeanRatio()},
          {"cpu_walk/floor", cpu.MeanRatio()},
          {"floor_us/pair", wall.MeanB() * per_pair},
          {"walk_us/pair", wall.MeanA() * per_pair}};
}

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
  PairedRounds wall, cpu;
  double load = 0;
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
    wall.Add(time.load + time.click, floor_time.wall);
    cpu.Add(time.cpu, floor_time.cpu);
    load += time.load;
  }
  const double rounds = static_cast<double>(state.iterations());
  for (const auto& [name, value] : WalkFigures(wall, cpu, load / rounds, pairs)) {
    state.counters[name] = value;
  }
}

// The exact-case walk and the walk of a list whose every name differs in
// case from the disk, over the same files.
void BM_OtherCaseWalk(benchmark::State& state) {
  static int round = 0;
  const auto pairs = static_cast<std::size_t>(state.range(0));
  const PairFolder& folder = FolderOf(pairs);
  PairedRounds other_to_exact;
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
    const double other_s = other_time.load + other_time.click;
    state.SetIterationTime(other_s);
    other_to_exact.Add(other_s, exact_time.load + exact_time.click);
  }
  state.counters["walk_ms"] = other_to_exact.MeanB() * 1e3;
  state.counters["other_case_ms"] = other_to_exact.MeanA() * 1e3;
  state.counters["other_case/walk"] = other_to_exact.MeanRatio();
}

}  // namespace bench
