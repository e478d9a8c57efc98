// The walk cases: each walk against the floor over the same files, for flat
// names, nested Windows-style paths and paths whose every name differs in
// case from the disk; and one pair into a folder of case variants. A walk
// consumes its files, so every timed run is followed by an untimed Restore
// and the time is reported by hand (UseManualTime).

#include <stdlib.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

#include "bench_cases.h"
#include "check.h"
#include "launcher.h"
#include "system_platform.h"

namespace bench {

namespace {

// One set of files per size and layout, made once and shared by the cases,
// so that repetitions time renames rather than file creation.
using FolderKey = std::pair<std::size_t, Layout>;
std::map<FolderKey, std::unique_ptr<PairFolder>>& Folders() {
  static std::map<FolderKey, std::unique_ptr<PairFolder>> folders;
  return folders;
}

struct WalkTime {
  double load = 0;   // Form_Load, both list files
  double click = 0;  // Command3_Click: from the click to the last rename
  double cpu = 0;    // the thread's processor time for the click
  std::string message;
};

// What a user does: start the tool in the folder, press Activate.
WalkTime ActivationWalk() {
  WalkTime time;
  tavrik::SystemPlatform platform([&time](const std::string& text) { time.message = text; });
  tavrik::Brennel brennel(platform);
  const Clock::time_point start = Clock::now();
  brennel.Form_Load();
  time.load = SecondsSince(start);
  const double cpu_start = ThreadCpuSeconds();
  const Clock::time_point loaded = Clock::now();
  brennel.Command3_Click();
  time.click = SecondsSince(loaded);
  time.cpu = ThreadCpuSeconds() - cpu_start;
  return time;
}

// Runs the walk and checks that it moved every file; returns false after
// reporting to `state` when it did not.
bool CompleteWalk(benchmark::State& state, const std::vector<Pair>& pairs, WalkTime& time) {
  time = ActivationWalk();
  std::size_t moved = 0;
  for (const Pair& pair : pairs) moved += IsMoved(pair) ? 1 : 0;
  if (time.message.empty() && moved == pairs.size()) return true;
  std::string report = "the walk renamed " + std::to_string(moved) + " of " +
                       std::to_string(pairs.size()) + " pairs";
  if (!time.message.empty()) report += ", message '" + time.message + "'";
  Fail(state, report);
  return false;
}

struct FloorTime {
  double wall = 0;
  double cpu = 0;
};

FloorTime TimedFloor(benchmark::State& state, const std::vector<Pair>& pairs) {
  FloorTime time;
  const double cpu_start = ThreadCpuSeconds();
  const Clock::time_point start = Clock::now();
  const std::size_t moved = FloorWalk(pairs);
  time.wall = SecondsSince(start);
  time.cpu = ThreadCpuSeconds() - cpu_start;
  if (moved != pairs.size()) Fail(state, "the floor loop stopped early");
  return time;
}

// The walk of the list in the working directory and the floor over the same
// `pairs`, in alternating order, `state`'s iterations times.
void WalkAgainstFloor(benchmark::State& state, const std::vector<Pair>& pairs) {
  static int round = 0;
  PairedRounds wall, cpu;
  double load = 0;
  for (auto _ : state) {
    FloorTime floor_time;
    WalkTime time;
    const bool floor_first = round++ % 2 == 0;
    for (int run = 0; run < 2; ++run) {
      if ((run == 0) == floor_first) {
        floor_time = TimedFloor(state, pairs);
      } else if (!CompleteWalk(state, pairs, time)) {
        return;
      }
      RestorePairs(pairs);
    }
    state.SetIterationTime(time.click);
    wall.Add(time.click, floor_time.wall);
    cpu.Add(time.cpu, floor_time.cpu);
    load += time.load;
  }
  const double rounds = static_cast<double>(state.iterations());
  for (const auto& [name, value] : WalkFigures(wall, cpu, load / rounds, pairs.size())) {
    state.counters[name] = value;
  }
}

void BM_Walk(benchmark::State& state, Layout layout, Spelling spelling) {
  const PairFolder& folder = FolderOf(static_cast<std::size_t>(state.range(0)), layout);
  WriteLists(folder, spelling);
  WalkAgainstFloor(state, folder.pairs());
}

bool any_failed = false;
std::filesystem::path base;  // where the first folder was made

std::filesystem::path FolderPath(std::size_t pairs, Layout layout) {
  return base / ((layout == Layout::kFlat ? "flat-" : "pairs-") + std::to_string(pairs));
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

const PairFolder& FolderOf(std::size_t pairs, Layout layout) {
  // Each size has a folder of its own, the working directory while it is used.
  if (Folders().empty()) base = std::filesystem::current_path();
  const std::filesystem::path folder_path = FolderPath(pairs, layout);
  std::filesystem::create_directories(folder_path);
  std::filesystem::current_path(folder_path);
  std::unique_ptr<PairFolder>& folder = Folders()[{pairs, layout}];
  if (!folder) {
    folder = std::make_unique<PairFolder>(pairs, layout);
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
  for (const auto& [key, folder] : Folders()) {
    std::filesystem::remove_all(FolderPath(key.first, key.second), ignored);
  }
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

// Runs `work` in a fresh temporary folder holding `count` pairs of the
// named layout and lists written for it. Returns 2 for a name or a count
// that is not one, else what `work` returns.
int InPairFolder(const std::string& layout, std::size_t count,
                 const std::function<int(const PairFolder&)>& work) {
  if ((layout != "flat" && layout != "nested" && layout != "other") || count == 0) return 2;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::string scratch = (std::filesystem::temp_directory_path() / "brennel-walk-XXXXXX").string();
  if (mkdtemp(scratch.data()) == nullptr) return 1;
  std::filesystem::current_path(scratch);
  int status = 0;
  {
    const PairFolder folder(count, layout == "flat" ? Layout::kFlat : Layout::kNested);
    WriteLists(folder, layout == "other" ? Spelling::kOtherCase : Spelling::kExact);
    status = work(folder);
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(scratch);
  return status;
}

int WalkOnce(const char* layout, const char* count) {
  const auto pairs = static_cast<std::size_t>(std::atol(count));
  const int status = InPairFolder(layout, pairs, [&](const PairFolder& folder) {
    const WalkTime time = ActivationWalk();
    std::cout << MovedReport(folder, time.message) << " in " << time.click * 1e3 << " ms\n";
    return folder.CountMoved() == pairs ? 0 : 1;
  });
  if (status == 2) std::cerr << "usage: --walk-once flat|nested|other PAIRS\n";
  return status;
}

int CheckAgainstWalk(const char* layout, const char* count, const char* rounds) {
  const auto pairs = static_cast<std::size_t>(std::atol(count));
  const int runs = std::atoi(rounds);
  const int status = InPairFolder(layout, runs < 1 ? 0 : pairs, [&](const PairFolder& folder) {
    FloorWalk(folder.pairs());  // the folders' blocks grown, as in later runs
    folder.Restore();
    std::vector<double> ratios;
    for (int round = 0; round < runs; ++round) {
      const Clock::time_point start = Clock::now();
      const std::unique_ptr<tavrik::DryRun> run = tavrik::MakeDryRun();
      const tavrik::CheckReport report = tavrik::Check(*run, ".");
      const double check = SecondsSince(start);
      const WalkTime walk = ActivationWalk();
      const double walked = walk.load + walk.click;
      std::cout << "round " << round + 1 << ": check " << check * 1e3
                << " ms, walk (load and click) " << walked * 1e3 << " ms, " << check / walked
                << " x\n";
      ratios.push_back(check / walked);
      if (report.activate.from_now().result != tavrik::Result::kComplete ||
          folder.CountMoved() != pairs)
        return 1;
      folder.Restore();
    }
    std::sort(ratios.begin(), ratios.end());
    std::cout << "median check / walk: " << ratios[ratios.size() / 2] << " x\n";
    return 0;
  });
  if (status == 2) std::cerr << "usage: --check-against-walk flat|nested|other PAIRS ROUNDS\n";
  return status;
}

void BM_FlatWalk(benchmark::State& state) { BM_Walk(state, Layout::kFlat, Spelling::kExact); }

void BM_NestedWalk(benchmark::State& state) { BM_Walk(state, Layout::kNested, Spelling::kExact); }

void BM_OtherCaseWalk(benchmark::State& state) {
  BM_Walk(state, Layout::kNested, Spelling::kOtherCase);
}

// One file moved into a folder of 2^15 names that differ only in case, and
// one of those names moved out: both need the folder's listing.
void BM_CaseVariants(benchmark::State& state) {
  const auto names = static_cast<std::size_t>(state.range(0));
  if (Folders().empty()) base = std::filesystem::current_path();
  const std::filesystem::path folder = base / "variants";
  const std::string name =
      std::string("abcdefghijklmnopqrstuvwxyz").substr(0, std::bit_width(names) - 1);
  if (!std::filesystem::exists(folder)) {
    std::filesystem::create_directories(folder / "variants");
    for (std::size_t bits = 0; bits < names; ++bits) {
      std::string variant = name;
      for (std::size_t i = 0; i < variant.size(); ++i) {
        if ((bits >> i) & 1) variant[i] = static_cast<char>(std::toupper(variant[i]));
      }
      WriteTextFile((folder / "variants" / variant).string(), "");
    }
    WriteTextFile((folder / "new.dds").string(), "");
  }
  std::filesystem::current_path(folder);
  const std::string list =
      "new.dds\r\nVARIANTS\\new.dds\r\nvariants\\" + name + "\r\nvariants\\" + name + ".old\r\n";
  WriteTextFile(tavrik::kActivationListFile, list);
  WriteTextFile(tavrik::kDeactivationListFile, list);
  const std::vector<Pair> pairs = {{"new.dds", "variants/new.dds"},
                                   {"variants/" + name, "variants/" + name + ".old"}};
  WalkAgainstFloor(state, pairs);
  std::filesystem::current_path(base);
}

}  // namespace bench
