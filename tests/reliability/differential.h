#pragma once

// Random folder trees and lists, walked for real and by the reference in
// reference_platform.h on two copies of the tree; the two must end with the
// same files in the same places, the same message and the same error. Before
// the walk, brennel-check's dry run on the walk's copy must leave it as it
// is and predict each click's end, the pair it stops at, and the last tree.

#include <cstdint>
#include <functional>
#include <string>

namespace differential {

/// Where a case's choices come from: a seeded generator in the tests, the
/// fuzzer's bytes in the fuzz target. Returns a number below `n` (n > 0).
using Choose = std::function<std::uint32_t(std::uint32_t n)>;

/// Makes one random case under `scratch` (an empty folder), walks it both
/// ways and compares. Returns "" when both agree, else what differs, with
/// the case's tree and lists.
std::string RunCase(const Choose& choose, const std::string& scratch);

}  // namespace differential
