#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "byte_source.h"
#include "error_condition.h"
#include "list_limits.h"
#include "text_encoding.h"

namespace tavrik {

/// Where a field starts in its list file, from 1. Lines end at CR LF, a lone
/// LF or a lone CR, also inside quotes; the column counts characters up to
/// the field's first (its opening quote; for an empty field, where it would
/// start).
struct FieldPosition {
  std::size_t line = 0;
  std::size_t column = 0;
  friend bool operator==(const FieldPosition&, const FieldPosition&) = default;
};

/// Why reading ended before the end of the file.
enum class ReadingStop {
  kNone,        // it did not: the end of the file, or a read failure
  kFieldCount,  // ListLimits::fields fields were read
  kLongField,   // the pair of a field too long for any path was read
  kText,        // the next field would have taken the text past ListLimits::text
};

/// A list file as it was read.
struct ListRead {
  std::vector<std::string> fields;       // their text (UTF-8), in file order
  std::vector<FieldPosition> positions;  // where each starts, in step with `fields`
  ReadingStop stop = ReadingStop::kNone;
  /// The read failure that cut the file short, unless reading stopped
  /// before; the fields before it are whole.
  std::optional<Error> failure;
};

/// Reads the list file in `source` as docs/design.md's "List file format" says,
/// only as far as a walk can reach (`limits`), whatever the file holds. The
/// encoding is decided once, on the bytes read: UTF-16 after its byte order
/// mark, else UTF-8 when every byte read is, else `legacy` text.
ListRead ReadListFile(ByteSource& source, const ListLimits& limits = {},
                      const LegacyDecoder& legacy = DecodeWindows1252);

}  // namespace tavrik
