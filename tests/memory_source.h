#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "byte_source.h"

namespace tavrik {

/// A list file's bytes in memory (not copied: they must outlive the source).
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = std::min(size, bytes_.size());
    std::memcpy(buffer, bytes_.data(), count);
    bytes_.remove_prefix(count);
    return count;
  }

 private:
  std::string_view bytes_;
};

}  // namespace tavrik
