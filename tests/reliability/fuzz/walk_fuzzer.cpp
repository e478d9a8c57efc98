// libFuzzer target for long runs of the differential test: the fuzzer's
// bytes make each choice of a random tree and its lists, and the walk
// and the plain reference must agree on every one.
// Usage: walk_fuzzer [-max_total_time=SECONDS] [CORPUS]

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "differential.h"

namespace {

// A folder of this process's own, in memory when possible, for every case.
const std::string& Scratch() {
  static const std::string folder = [] {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/brennel-walk-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  // Each choice takes the next two bytes; past the end every choice is 0.
  const differential::Choose choose = [&](std::uint32_t n) -> std::uint32_t {
    std::uint32_t value = 0;
    for (int i = 0; i < 2 && at < size; ++i) value = value << 8 | data[at++];
    return value % n;
  };
  const std::string difference = differential::RunCase(choose, Scratch());
  if (!difference.empty()) {
    std::fprintf(stderr, "the walk and the reference disagree:\n%s\n", difference.c_str());
    std::abort();
  }
  return 0;
}
