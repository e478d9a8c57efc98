// The walk against the plain reference of reference_platform.h, and
// brennel-check's dry run against the walk, on thousands of random trees and
// lists.
// BRENNEL_DIFFERENTIAL_CASES (BRENNEL_DIFFERENTIAL_MOUNTED_CASES on the
// mounts), BRENNEL_DIFFERENTIAL_SEED and BRENNEL_DIFFERENTIAL_FIRST (the
// first case's number) run more or other cases by hand.

#include "differential.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <random>

#include "scratch_folder.h"
#include "scratch_mounts.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint64_t kCases = 1000;  // the sanitizers make each case several times slower
#else
constexpr std::uint64_t kCases = 6000;
#endif
constexpr std::uint64_t kMountedCases = 300;  // FUSE calls are slow; more by hand

std::uint64_t FromEnvironment(const char* name, std::uint64_t otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::strtoull(value, nullptr, 10) : otherwise;
}

// Runs `cases` cases of the seed in the environment under `scratch`.
void RunCases(std::uint64_t cases, const std::string& scratch, const differential::Options& options,
              const char* agree) {
  const std::uint64_t seed = FromEnvironment("BRENNEL_DIFFERENTIAL_SEED", 1);
  const std::uint64_t first = FromEnvironment("BRENNEL_DIFFERENTIAL_FIRST", 0);
  for (std::uint64_t number = first; number < first + cases; ++number) {
    std::seed_seq sequence{seed, number};
    std::mt19937 engine(sequence);
    const differential::Choose choose = [&](std::uint32_t n) { return engine() % n; };
    const std::string difference = differential::RunCase(choose, scratch, options);
    ASSERT_EQ(difference, "") << "seed " << seed << ", case " << number;
  }
  std::printf("%llu cases of seed %llu: %s\n", static_cast<unsigned long long>(cases),
              static_cast<unsigned long long>(seed), agree);
}

// Each case makes and removes two small trees: in memory when possible.
class Differential : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::filesystem::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
  }
};

TEST_F(Differential, TheWalkThePlainReferenceAndTheDryRunMoveTheSameFilesAndSayTheSame) {
  ScratchFolder scratch;
  RunCases(FromEnvironment("BRENNEL_DIFFERENTIAL_CASES", kCases), scratch.path().string(), {},
           "the walk, the reference and the dry run agree");
}

TEST_F(Differential, WithChangesByAnotherProgramBetweenPairsTheWalkAndTheReferenceAgree) {
  ScratchFolder scratch;
  differential::Options options;
  options.changes = true;
  RunCases(FromEnvironment("BRENNEL_DIFFERENTIAL_CASES", kCases), scratch.path().string(), options,
           "with changes between pairs, the walk and the reference agree");
}

// On file systems that ignore case, with changes between pairs too.
TEST_F(Differential, OnFileSystemsThatIgnoreCaseTheWalkAndTheReferenceAgree) {
  ScratchFolder scratch;
  for (const std::string kind : {"ntfs", "exfat"}) {
    SCOPED_TRACE(kind);
    ScratchMounts mounts;
    const std::string why = mounts.MountCaseInsensitive(kind, scratch.path().string(), kind, "64M");
    if (!why.empty()) GTEST_SKIP() << kind << ": " << why;
    differential::Options options;
    options.case_insensitive = true;
    options.links = kind == "ntfs";
    options.drop_cached_names = kind == "exfat";
    options.changes = true;
    RunCases(FromEnvironment("BRENNEL_DIFFERENTIAL_MOUNTED_CASES", kMountedCases),
             (scratch.path() / kind).string(), options,
             (kind + ", ignoring case: the walk and the reference agree").c_str());
  }
}

}  // namespace
