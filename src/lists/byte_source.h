#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tavrik {

/// Where a list file's bytes come from: an open file of the platform, or
/// bytes already in memory. Read in order, once.
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

/// Bytes in memory (not copied: they must outlive the source).
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = std::min(size, bytes_.size());
    std::memcpy(buffer, bytes_.data(), count);
    bytes_.remove_prefix(count);
    return count;
  }
  std::uint64_t SizeHint() const override { return bytes_.size(); }

 private:
  std::string_view bytes_;
};

}  // namespace tavrik
