#include <benchmark/benchmark.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

#include "bench_cases.h"
#include "launcher.h"
#include "pair_folder.h"
#include "process_memory.h"
#include "scratch_folder.h"
#include "system_platform.h"

namespace {

using bench::PairFolder;
using bench::Spelling;

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Slashed(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

tavrik::EntryList LoadedList(const std::string& text) {
  bench::WriteTextFile(tavrik::kActivationListFile, text);
  tavrik::SystemPlatform platform(nullptr);
  tavrik::Brennel brennel(platform);
  brennel.Form_Load();
  return brennel.colInputA;
}

TEST(PairFolderTest, ListsReadBackAsThePairsInTheirSpelling) {
  ScratchFolder scratch;
  PairFolder folder(3);
  ASSERT_EQ(folder.pairs().size(), 3u);
  for (const bench::Pair& pair : folder.pairs()) {
    EXPECT_TRUE(Exists(pair.source)) << pair.source;
    EXPECT_FALSE(Exists(pair.target)) << pair.target;
  }

  const tavrik::EntryList exact = LoadedList(folder.ListText(Spelling::kExact));
  ASSERT_EQ(exact.size(), 6u);
  const tavrik::EntryList other = LoadedList(folder.ListText(Spelling::kOtherCase));
  ASSERT_EQ(other.size(), 6u);
  for (std::size_t i = 0; i < 3; ++i) {
    // Written as on Windows, with backslashes.
    EXPECT_EQ(Slashed(exact[2 * i]), folder.pairs()[i].source);
    EXPECT_EQ(Slashed(exact[2 * i + 1]), folder.pairs()[i].target);
    // Every name that exists differs in case, and only in case; the
    // target's new file name keeps the disk's spelling.
    for (std::size_t entry : {2 * i, 2 * i + 1}) {
      EXPECT_EQ(Lower(other[entry]), exact[entry]);
      EXPECT_FALSE(Exists(other[entry].substr(0, other[entry].find('\\'))));
      const std::string folder_part = other[entry].substr(0, other[entry].rfind('\\'));
      EXPECT_NE(folder_part, Lower(folder_part));
    }
    EXPECT_NE(other[2 * i], exact[2 * i]);
    EXPECT_FALSE(Exists(Slashed(other[2 * i])));
    EXPECT_EQ(other[2 * i + 1].substr(other[2 * i + 1].rfind('\\')),
              exact[2 * i + 1].substr(exact[2 * i + 1].rfind('\\')));
  }
}

TEST(PairFolderTest, FloorWalkMovesEveryPairAndRestoreUndoesIt) {
  ScratchFolder scratch;
  PairFolder folder(5);
  EXPECT_EQ(bench::FloorWalk(folder.pairs()), 5u);
  EXPECT_EQ(folder.CountMoved(), 5u);
  EXPECT_EQ(folder.Restore(), 5u);
  EXPECT_EQ(folder.CountMoved(), 0u);
  for (const bench::Pair& pair : folder.pairs()) EXPECT_TRUE(Exists(pair.source));
}

TEST(PairFolderTest, FloorWalkStopsAtAMissingSourceAndNeverReplaces) {
  ScratchFolder scratch;
  PairFolder folder(4);
  std::filesystem::remove(folder.pairs()[2].source);
  EXPECT_EQ(bench::FloorWalk(folder.pairs()), 2u);
  EXPECT_FALSE(Exists(folder.pairs()[3].target));

  folder.Restore();
  WriteFile(folder.pairs()[1].target, "kept");
  EXPECT_THROW(bench::FloorWalk(folder.pairs()), std::runtime_error);
  EXPECT_EQ(ReadFile(folder.pairs()[1].target), "kept");
  EXPECT_TRUE(Exists(folder.pairs()[1].source));
}

TEST(PairFolderTest, TheBrennelWalkOfTheExactListMovesWhatTheFloorMoves) {
  ScratchFolder scratch;
  PairFolder folder(50);
  bench::WriteTextFile(tavrik::kActivationListFile, folder.ListText(Spelling::kExact));
  std::string message;
  tavrik::SystemPlatform platform([&message](const std::string& text) { message = text; });
  tavrik::Brennel brennel(platform);
  brennel.Form_Load();
  brennel.Command3_Click();
  EXPECT_EQ(message, "");
  EXPECT_EQ(folder.CountMoved(), 50u);
}

TEST(BenchCasesTest, EachSizeKeepsItsOwnFilesAndGetsThemBackAtTheirSources) {
  ScratchFolder scratch;
  const PairFolder& small = bench::FolderOf(3);
  bench::FloorWalk(small.pairs());
  const PairFolder& large = bench::FolderOf(5);  // would collide with the small set's names
  EXPECT_EQ(large.CountMoved(), 0u);
  EXPECT_EQ(&bench::FolderOf(3), &small);
  EXPECT_EQ(small.CountMoved(), 0u) << "moved files are put back";
  for (const bench::Pair& pair : small.pairs()) EXPECT_TRUE(Exists(pair.source));
  std::filesystem::current_path(scratch.path());
  bench::DropFolders();
}

// Keeps every run that Google Benchmark reports.
class CollectingReporter : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) this->runs[run.benchmark_name()] = run;
  }
  std::map<std::string, Run> runs;
};

TEST(BenchCasesTest, TheCasesReportTheirFiguresOrSayWhyNot) {
  ScratchFolder scratch;
  using Case = void (*)(benchmark::State&);
  for (auto [name, function, arg] :
       {std::tuple<const char*, Case, int>("flat", bench::BM_FlatWalk, 40),
        {"nested", bench::BM_NestedWalk, 40},
        {"case", bench::BM_OtherCaseWalk, 40},
        {"variants", bench::BM_CaseVariants, 64},
        {"load", bench::BM_ListLoad, 40}}) {
    benchmark::RegisterBenchmark(name, function)->Arg(arg)->Iterations(2)->UseManualTime();
  }
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::ClearRegisteredBenchmarks();
  bench::DropFolders();
  EXPECT_FALSE(bench::AnyFailed());

  // What was measured depends on the machine: only the figures' presence is
  // checked here, their arithmetic on fixed numbers below. Every walk moved
  // all its files, or the case reports an error.
  for (const char* walk_case : {"flat/40", "nested/40", "case/40", "variants/64"}) {
    const auto& walk = reporter.runs.at(std::string(walk_case) + "/iterations:2/manual_time");
    ASSERT_FALSE(walk.error_occurred) << walk_case << ": " << walk.error_message;
    for (const char* name : {"floor_ms", "walk_ms", "load_ms", "walk/floor", "cpu_walk/floor",
                             "floor_us/pair", "walk_us/pair"}) {
      EXPECT_EQ(walk.counters.count(name), 1u) << walk_case << " " << name;
    }
  }

  const auto& load = reporter.runs.at("load/40/iterations:2/manual_time");
  ASSERT_FALSE(load.error_occurred) << load.error_message;
  // 20 "mod/..." paths of 31 characters and 20 "game/..." of 32, each with CR LF.
  EXPECT_DOUBLE_EQ(load.counters.at("MB"), (20 * 33 + 20 * 34) / 1e6);
  EXPECT_EQ(load.counters.count("MB/s"), 1u);
}

TEST(BenchFiguresTest, RatiosAreTheMeanOfEachRoundsOwnRatio) {
  // Two rounds of a walk against its floor: 3 s against 2 s, then 4 s against
  // 4 s; in processor time 1 s against 1 s, then 6 s against 2 s.
  bench::PairedRounds wall, cpu;
  wall.Add(3, 2);
  wall.Add(4, 4);
  cpu.Add(1, 1);
  cpu.Add(6, 2);
  const std::map<std::string, double> figures = bench::WalkFigures(wall, cpu, 0.5, 40);
  EXPECT_EQ(figures, (std::map<std::string, double>{{"floor_ms", 3000},
                                                    {"walk_ms", 3500},
                                                    {"load_ms", 500},
                                                    {"walk/floor", 1.25},  // not 3.5 / 3
                                                    {"cpu_walk/floor", 2},
                                                    {"floor_us/pair", 75000},
                                                    {"walk_us/pair", 87500}}));
  EXPECT_EQ(bench::PairedRounds().MeanRatio(), 0) << "no rounds, no figure";
}

struct ChildReport {
  long idle_kb = -1, peak_kb = -1;
  double load_seconds = -1;
  unsigned long long entries = 0;
  long long error = -1;
};

// The memory child's report on the lists of the working directory.
ChildReport RunMemoryChild() {
  const std::string out =
      bench::RunChild({BRENNEL_BENCH, "--memory-child", std::filesystem::current_path().string()});
  ChildReport report;
  EXPECT_EQ(std::sscanf(out.c_str(), "%ld %ld %lf %llu %lld", &report.idle_kb, &report.peak_kb,
                        &report.load_seconds, &report.entries, &report.error),
            5)
      << out;
  EXPECT_GT(report.idle_kb, 0);
  EXPECT_GE(report.peak_kb, report.idle_kb);
  return report;
}

TEST(BenchCasesTest, TheMemoryChildLoadsAndWalksTheListsAndReportsItsPeak) {
  ScratchFolder scratch;
  PairFolder folder(20);
  bench::WriteLists(folder, Spelling::kExact);
  const ChildReport walked = RunMemoryChild();
  EXPECT_EQ(walked.entries, 40u);
  EXPECT_EQ(walked.error, 0);
  EXPECT_EQ(folder.CountMoved(), 20u);
  folder.Restore();

  // A list longer than the walk takes, as the huge-list case writes it.
  std::string text;
  for (int i = 0; i < 40000; ++i) text += "x\r\n";
  bench::WriteTextFile(tavrik::kActivationListFile, text);
  const ChildReport refused = RunMemoryChild();
  EXPECT_EQ(refused.entries, 32768u) << "read as far as the walk can reach, and one more";
  EXPECT_EQ(refused.error, tavrik::error_number::kOverflow);
  EXPECT_EQ(folder.CountMoved(), 0u);
}

TEST(BenchCasesTest, TheCheckMemoryChildChecksTheListsAndReportsItsPeak) {
  ScratchFolder scratch;
  PairFolder folder(20);
  bench::WriteLists(folder, Spelling::kExact);
  const std::string out = bench::RunChild(
      {BRENNEL_BENCH, "--check-memory-child", std::filesystem::current_path().string()});
  long idle_kb = -1, peak_kb = -1;
  double seconds = -1;
  unsigned long findings = 0;
  int status = -1;
  ASSERT_EQ(std::sscanf(out.c_str(), "%ld %ld %lf %lu %d", &idle_kb, &peak_kb, &seconds, &findings,
                        &status),
            5)
      << out;
  EXPECT_GT(idle_kb, 0);
  EXPECT_GE(peak_kb, idle_kb);
  EXPECT_EQ(status, 0) << "an inactive mod that Activate and Deactivate put back: " << out;
  EXPECT_EQ(folder.CountMoved(), 0u) << "a check moves nothing";
}

TEST(ProcessMemoryTest, StatusFieldsAreReadByExactName) {
  const std::string status =
      "Name:\tbrennel_bench\nVmHWMx:\t 1 kB\nVmHWM:\t    8120 kB\nVmRSS:\t    7000 kB\n";
  EXPECT_EQ(bench::StatusFieldKb(status, "VmHWM"), 8120);
  EXPECT_EQ(bench::StatusFieldKb(status, "VmRSS"), 7000);
  EXPECT_EQ(bench::StatusFieldKb(status, "VmRS"), -1);
  EXPECT_EQ(bench::StatusFieldKb(status, "Name"), -1);  // not a number
  EXPECT_EQ(bench::StatusFieldKb("", "VmRSS"), -1);

  const long rss = bench::OwnStatusKb("VmRSS");
  EXPECT_GT(rss, 0);
  EXPECT_GE(bench::OwnStatusKb("VmHWM"), rss);
}

TEST(ProcessMemoryTest, RunChildReturnsItsOutputAndReportsFailure) {
  EXPECT_EQ(bench::RunChild({"/bin/echo", "42 7"}), "42 7\n");
  EXPECT_THROW(bench::RunChild({"/bin/false"}), std::runtime_error);
  EXPECT_THROW(bench::RunChild({"/nonexistent/brennel"}), std::runtime_error);
}

}  // namespace
