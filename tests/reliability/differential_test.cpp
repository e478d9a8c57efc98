// The walk against the plain reference of reference_platform.h, and
// brennel-check's dry run against the walk, on thousands of random trees and
// lists.
// BRENNEL_DIFFERENTIAL_CASES and BRENNEL_DIFFERENTIAL_SEED run more or other
// cases by hand.

#include "differential.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <random>

#include "scratch_folder.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint64_t kCases = 1000;  // the sanitizers make each case several times slower
#else
constexpr std::uint64_t kCases = 6000;
#endif

std::uint64_t FromEnvironment(const char* name, std::uint64_t otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::strtoull(value, nullptr, 10) : otherwise;
}

TEST(Differential, TheWalkThePlainReferenceAndTheDryRunMoveTheSameFilesAndSayTheSame) {
  // Each case makes and removes two small trees: in memory when possible.
  if (std::filesystem::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
  const std::uint64_t cases = FromEnvironment("BRENNEL_DIFFERENTIAL_CASES", kCases);
  const std::uint64_t seed = FromEnvironment("BRENNEL_DIFFERENTIAL_SEED", 1);
  ScratchFolder scratch;
  for (std::uint64_t number = 0; number < cases; ++number) {
    std::seed_seq sequence{seed, number};
    std::mt19937 engine(sequence);
    const differential::Choose choose = [&](std::uint32_t n) { return engine() % n; };
    const std::string difference = differential::RunCase(choose, scratch.path().string());
    ASSERT_EQ(difference, "") << "seed " << seed << ", case " << number;
  }
  std::printf("%llu cases of seed %llu: the walk, the reference and the dry run agree\n",
              static_cast<unsigned long long>(cases), static_cast<unsigned long long>(seed));
}

}  // namespace
