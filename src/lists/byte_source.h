#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrik {

/// Where a list file's bytes come from: an open file of the platform (or a
/// test's bytes). Read in order, once.
class ByteSource {
 public:
  virtual ~ByteSource() = default;

  /// Copies the next bytes, at most `size`, to `buffer` and returns how many;
  /// 0 at the end. Throws Error when the system's read fails; what earlier
  /// calls returned stays valid.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;

  /// The expected number of bytes, or 0 when unknown. Only a hint: a file
  /// may change while it is read.
  virtual std::uint64_t SizeHint() const { return 0; }
};

}  // namespace tavrik
