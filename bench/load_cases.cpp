// The list load and the peak memory of a load and walk.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "bench_cases.h"
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

// Load + walk of the longest list, in a fresh process whose memory before
// the load is its idle size.
void BM_PeakMemory(benchmark::State& state) {
  const auto entries = static_cast<std::size_t>(state.range(0));
  const PairFolder& folder = FolderOf(entries / 2);
  const std::string odd_entry = entries % 2 != 0 ? "mod/data/textures/unused.dds\r\n" : "";
  WriteLists(folder, Spelling::kExact, odd_entry);
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const std::string out =
        RunChild({OwnExecutable(), "--memory-child", std::filesystem::current_path().string()});
    state.SetIterationTime(SecondsSince(start));
    long idle_kb = -1, peak_kb = -1;
    if (std::sscanf(out.c_str(), "%ld %ld", &idle_kb, &peak_kb) != 2 || idle_kb < 0 ||
        peak_kb < idle_kb) {
      Fail(state, "unreadable child report: " + out);
      return;
    }
    if (folder.CountMoved() != folder.pairs().size()) {
      Fail(state, "the walk in the child: " + MovedReport(folder, out));
      return;
    }
    folder.Restore();
    state.counters["idle_MB"] = static_cast<double>(idle_kb) / 1024;
    state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024;
    state.counters["above_idle_MB"] = static_cast<double>(peak_kb - idle_kb) / 1024;
  }
}

// The child side of BM_PeakMemory: prints "idle_kB peak_kB" and any message.
int MemoryChild(const char* folder) {
  if (chdir(folder) != 0) return 2;
  // Start the high-water mark afresh, so that start-up does not count.
  const int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    (void)!write(fd, "5", 1);
    close(fd);
  }
  std::string message;
  tavrik::SystemPlatform platform([&message](const std::string& text) { message = text; });
  tavrik::Brennel brennel(platform);
  const long idle_kb = OwnStatusKb("VmRSS");
  brennel.Form_Load();
  brennel.Command3_Click();
  std::cout << idle_kb << ' ' << OwnStatusKb("VmHWM") << ' ' << message << '\n';
  return 0;
}

}  // namespace bench
