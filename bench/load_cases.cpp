// The list load, and the peak memory of a load and walk: of the longest list
// the walk takes, of a huge one that it refuses, and of hostile lists in the
// window and in brennel-check.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "bench_cases.h"
#include "check.h"
#include "launcher.h"
#include "process_memory.h"
#include "system_platform.h"

namespace bench {

// Form_Load alone on a list of the longest length the walk takes.
void BM_ListLoad(benchmark::State& state) {
  const auto entries = static_cast<std::size_t>(state.range(0));
  std::string text;
  for (std::size_t i = 0; i < entries; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%s/data/textures/tex_%05zu.dds\r\n",
                  i % 2 == 0 ? "mod" : "game", i / 2);
    text += line;
  }
  WriteTextFile(tavrik::kActivationListFile, text);
  std::filesystem::remove(tavrik::kDeactivationListFile);
  const double megabytes = static_cast<double>(text.size()) / 1e6;
  double seconds = 0, cpu_seconds = 0;
  for (auto _ : state) {
    tavrik::SystemPlatform platform(nullptr);
    tavrik::Brennel brennel(platform);
    const double cpu_start = ThreadCpuSeconds();
    const Clock::time_point start = Clock::now();
    brennel.Form_Load();
    const double took = SecondsSince(start);
    cpu_seconds += ThreadCpuSeconds() - cpu_start;
    if (brennel.colInputA.size() != entries) Fail(state, "the list was not read whole");
    state.SetIterationTime(took);
    seconds += took;
  }
  state.counters["MB"] = megabytes;
  state.counters["MB/s"] = megabytes * static_cast<double>(state.iterations()) / seconds;
  state.counters["cpu_MB/s"] = megabytes * static_cast<double>(state.iterations()) / cpu_seconds;
}

namespace {

struct ChildReport {
  long idle_kb = -1, peak_kb = -1;
  double load_seconds = -1;
  unsigned long long entries = 0;
  long long error = -1;
};

// Load + walk of the lists in the working directory (or, with `check`, a
// whole brennel-check of it), in a fresh process whose memory before it is
// its idle size. False after reporting to `state` when the child's report
// cannot be read.
bool RunMemoryChild(benchmark::State& state, ChildReport& report, bool check = false) {
  const Clock::time_point start = Clock::now();
  const std::string out =
      RunChild({OwnExecutable(), check ? "--check-memory-child" : "--memory-child",
                std::filesystem::current_path().string()});
  state.SetIterationTime(SecondsSince(start));
  report = ChildReport();
  if (std::sscanf(out.c_str(), "%ld %ld %lf %llu %lld", &report.idle_kb, &report.peak_kb,
                  &report.load_seconds, &report.entries, &report.error) != 5 ||
      report.idle_kb < 0 || report.peak_kb < report.idle_kb) {
    Fail(state, "unreadable child report: " + out);
    return false;
  }
  state.counters["idle_MB"] = static_cast<double>(report.idle_kb) / 1024;
  state.counters["peak_MB"] = static_cast<double>(report.peak_kb) / 1024;
  state.counters["above_idle_MB"] = static_cast<double>(report.peak_kb - report.idle_kb) / 1024;
  return true;
}

}  // namespace

// Load + walk of the longest list.
void BM_PeakMemory(benchmark::State& state) {
  const auto entries = static_cast<std::size_t>(state.range(0));
  const PairFolder& folder = FolderOf(entries / 2);
  const std::string odd_entry = entries % 2 != 0 ? "mod/data/textures/unused.dds\r\n" : "";
  WriteLists(folder, Spelling::kExact, odd_entry);
  for (auto _ : state) {
    ChildReport report;
    if (!RunMemoryChild(state, report)) return;
    if (folder.CountMoved() != folder.pairs().size()) {
      Fail(state, "the walk in the child: " + MovedReport(folder, std::to_string(report.error)));
      return;
    }
    folder.Restore();
  }
}

// Start-up with a list of millions of one-character entries, which the walk
// refuses before its first rename: its memory and the time of its load,
// which reads the list only to its 32,768th entry.
void BM_HugeListLoad(benchmark::State& state) {
  const auto entries = static_cast<std::size_t>(state.range(0));
  const std::filesystem::path folder = std::filesystem::current_path() / "huge-list";
  std::filesystem::create_directories(folder);
  std::string text;
  text.reserve(3 * entries);
  for (std::size_t i = 0; i < entries; ++i) text += "x\r\n";
  WriteTextFile((folder / tavrik::kActivationListFile).string(), text);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  for (auto _ : state) {
    ChildReport report;
    if (!RunMemoryChild(state, report)) break;
    const std::size_t kept = std::min(entries, tavrik::EntryList::kMaxEntries);
    if (report.entries != kept || report.error != tavrik::error_number::kOverflow) {
      Fail(state, "the child counted " + std::to_string(report.entries) +
                      " entries and ended the walk with error " + std::to_string(report.error));
      break;
    }
    state.counters["load_s"] = report.load_seconds;
    state.counters["list_MB"] = static_cast<double>(3 * entries) / 1e6;
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
}

namespace {

// The lists no walk takes whole, each written as both lists (the second a
// link to the first), since the window and brennel-check hold both at once.
void WriteHostileLists(int kind) {
  namespace fs = std::filesystem;
  if (kind == 3) {
    fs::create_symlink("/proc/self/pagemap", tavrik::kActivationListFile);  // never ends
  } else {
    std::string text;
    if (kind == 0) {  // 256 MiB: 4,096 fields of 32,767 characters of two bytes
      std::string field;
      for (std::size_t i = 0; i < tavrik::kInt16Max; ++i) field += "\u0436";
      for (int i = 0; i < 4096; ++i) text += field + "\r\n";
    } else if (kind == 1) {  // 20 million commas
      text.assign(20000000, ',');
    } else {  // 32,768 entries of Windows-1252 that is not UTF-8, 2 or 3 bytes in UTF-8
      for (int i = 0; i < 32768; ++i) {
        for (int j = 0; j < 520; ++j) text += static_cast<char>(0x80 + (i + j) % 128);
        text += "\r\n";
      }
    }
    WriteTextFile(tavrik::kActivationListFile, text);
  }
  fs::create_symlink(tavrik::kActivationListFile, tavrik::kDeactivationListFile);
}

// Starts the high-water mark afresh, so that start-up does not count.
void ClearPeak() {
  const int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    (void)!write(fd, "5", 1);
    close(fd);
  }
}

}  // namespace

// Memory and time of start-up with hostile lists: in the window (its load
// and a press of Activate) or in brennel-check, above the idle size.
void BM_HostileListMemory(benchmark::State& state, int kind, bool check) {
  const std::filesystem::path folder = std::filesystem::current_path() / "hostile-lists";
  std::filesystem::create_directories(folder);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  WriteHostileLists(kind);
  for (auto _ : state) {
    ChildReport report;
    if (!RunMemoryChild(state, report, check)) break;
    state.counters[check ? "check_s" : "load_s"] = report.load_seconds;
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
}

// The child side of the memory cases.
int MemoryChild(const char* folder) {
  if (chdir(folder) != 0) return 2;
  ClearPeak();
  std::string message;
  tavrik::SystemPlatform platform([&message](const std::string& text) { message = text; });
  tavrik::Brennel brennel(platform);
  const long idle_kb = OwnStatusKb("VmRSS");
  const Clock::time_point start = Clock::now();
  brennel.Form_Load();
  const double load_seconds = SecondsSince(start);
  std::int64_t error = 0;
  try {
    brennel.Command3_Click();
  } catch (const tavrik::Error& refused) {
    error = refused.Number();
  }
  std::cout << idle_kb << ' ' << OwnStatusKb("VmHWM") << ' ' << load_seconds << ' '
            << brennel.colInputA.size() << ' ' << error << ' ' << message << '\n';
  return 0;
}

// The child side of the memory cases for brennel-check: a whole check of
// `folder`; prints "idle_kB peak_kB check_seconds findings exit_status".
int CheckMemoryChild(const char* folder) {
  if (chdir(folder) != 0) return 2;
  ClearPeak();
  const std::unique_ptr<tavrik::DryRun> run = tavrik::MakeDryRun();
  const long idle_kb = OwnStatusKb("VmRSS");
  const Clock::time_point start = Clock::now();
  const tavrik::CheckReport report = tavrik::Check(*run, ".");
  const double seconds = SecondsSince(start);
  std::cout << idle_kb << ' ' << OwnStatusKb("VmHWM") << ' ' << seconds << ' '
            << report.findings.size() << ' ' << tavrik::ExitStatus(report) << '\n';
  return 0;
}

}  // namespace bench
