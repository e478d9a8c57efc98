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

/// Where a field starts in its list file: 1-based line and column. Lines end
/// at CR LF, a lone LF or a lone CR, also inside quotes; the column counts
/// characters from the line's start up to the field's first one (its opening
/// quote; for an empty field, where it would start).
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
  /// The read failure that cut the file short, when reading had not stopped
  /// before it; the fields before it are whole.
  std::optional<Error> failure;
};

/// Reads the list file in `source`: its fields, separated by commas and
/// line ends, a field in double quotes holding both. The README's "List
/// file format" is the full definition. It reads only as far as a walk can
/// reach (`limits`), whatever the file holds. Then it decides the encoding
/// once, on the bytes read: UTF-16 after its byte order mark, else UTF-8 when
/// every byte read is UTF-8, else `legacy` text (Windows-1252 unless the
/// platform knows better).
ListRead ReadListFile(ByteSource& source, const ListLimits& limits = {},
                      const LegacyDecoder& legacy = DecodeWindows1252);

}  // namespace tavrik
