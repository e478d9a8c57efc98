// Benchmarks of the activation walk and the list load against the
// system-call floor, on Google Benchmark: a walk consumes its files, which the
// library allows with hand-set times (UseManualTime); medians come from
// repetitions. Options of its own: --rounds=N repetitions (9), --dir=PATH
// where the files are made (the temporary folder); "--floor-once N" for
// bench/compare; and "--walk-once LAYOUT N" for counting instructions.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>

#include "bench_cases.h"

namespace {

using namespace bench;

// For bench/compare, which times its scripted loops against the floor on
// the same files: one floor walk over the first `count` pairs of the layout
// in the working directory; prints its seconds.
int FloorOnce(const char* count) {
  const std::vector<Pair> pairs = PairsOf(static_cast<std::size_t>(std::atol(count)));
  const Clock::time_point start = Clock::now();
  const std::size_t moved = FloorWalk(pairs);
  const double seconds = SecondsSince(start);
  if (pairs.empty() || moved != pairs.size()) {
    std::cerr << "the floor moved " << moved << " of " << pairs.size() << " pairs\n";
    return 1;
  }
  std::cout << seconds << '\n';
  return 0;
}

benchmark::internal::Benchmark* Timed(benchmark::internal::Benchmark* b, int repetitions) {
  return b->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(repetitions)
      ->ReportAggregatesOnly(true);
}

void Register(int rounds) {
  using Case = void (*)(benchmark::State&);
  for (auto [name, function] : {std::pair<const char*, Case>("FlatWalk", BM_FlatWalk),
                                std::pair<const char*, Case>("NestedWalk", BM_NestedWalk),
                                std::pair<const char*, Case>("OtherCaseWalk", BM_OtherCaseWalk)}) {
    for (int pairs : {1000, 8000, 16000}) {
      // A short walk is at the mercy of every other process on the machine:
      // 1,000 pairs get four times the rounds, for the same total time.
      Timed(benchmark::RegisterBenchmark(name, function), pairs < 4000 ? 4 * rounds : rounds)
          ->ArgName("pairs")
          ->Arg(pairs)
          ->Iterations(1);
    }
  }
  Timed(benchmark::RegisterBenchmark("CaseVariants", BM_CaseVariants), rounds)
      ->ArgName("names")
      ->Arg(1 << 15)
      ->Iterations(1);
  Timed(benchmark::RegisterBenchmark("ListLoad", BM_ListLoad), rounds)
      ->ArgName("entries")
      ->Arg(kLongestList)
      ->Iterations(10);
  // The peak hardly varies; three runs show that it does not.
  Timed(benchmark::RegisterBenchmark("PeakMemory", BM_PeakMemory), std::min(rounds, 3))
      ->ArgName("entries")
      ->Arg(kLongestList)
      ->Iterations(1);
  // A 60 MB list of 20 million entries: start-up reads only its first ones.
  Timed(benchmark::RegisterBenchmark("HugeListLoad", BM_HugeListLoad), std::min(rounds, 3))
      ->ArgName("entries")
      ->Arg(20000000)
      ->Iterations(1);
  // Lists no walk takes whole, in the window and in brennel-check.
  const char* const kinds[] = {"fields_of_32767_chars_256MiB", "commas_20M",
                               "not_utf8_32768_entries", "link_to_proc_self_pagemap"};
  for (int kind = 0; kind < 4; ++kind) {
    for (const bool check : {false, true}) {
      const std::string name =
          std::string("HostileListMemory/") + kinds[kind] + (check ? "/brennel-check" : "/window");
      Timed(benchmark::RegisterBenchmark(name.c_str(), BM_HostileListMemory, kind, check),
            std::min(rounds, 3))
          ->Iterations(1);
    }
  }
}

// Takes --rounds=N and --dir=PATH out of the arguments; Google Benchmark
// reads the rest.
bool TakeOption(int& argc, char** argv, std::string_view name, std::string& value) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg.substr(0, name.size()) != name || arg.size() == name.size() ||
        arg[name.size()] != '=') {
      continue;
    }
    value = std::string(arg.substr(name.size() + 1));
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--memory-child") return MemoryChild(argv[2]);
  if (argc == 3 && std::string_view(argv[1]) == "--check-memory-child") {
    return CheckMemoryChild(argv[2]);
  }
  if (argc == 3 && std::string_view(argv[1]) == "--floor-once") return FloorOnce(argv[2]);
  if (argc == 4 && std::string_view(argv[1]) == "--walk-once") return WalkOnce(argv[2], argv[3]);
  if (argc == 5 && std::string_view(argv[1]) == "--check-against-walk") {
    return CheckAgainstWalk(argv[2], argv[3], argv[4]);
  }
  std::string rounds = "9", dir = std::filesystem::temp_directory_path().string();
  TakeOption(argc, argv, "--rounds", rounds);
  TakeOption(argc, argv, "--dir", dir);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const int repetitions = std::atoi(rounds.c_str());
  if (repetitions < 1) {
    std::cerr << "--rounds takes a number of at least 1\n";
    return 1;
  }
  std::string folder = (std::filesystem::path(dir) / "brennel-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::perror(folder.c_str());
    return 1;
  }
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  benchmark::AddCustomContext("folder", folder);
  Register(repetitions);
  int status = 0;
  try {
    benchmark::RunSpecifiedBenchmarks();
  } catch (const std::exception& error) {
    std::cerr << "brennel_bench: " << error.what() << '\n';
    status = 1;
  }
  if (AnyFailed()) status = 1;
  benchmark::Shutdown();
  DropFolders();
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  return status;
}
