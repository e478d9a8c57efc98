#pragma once

#include <cstddef>

namespace tavrik {

/// 32,767, the largest 16-bit signed integer, bounds a list twice: the walk
/// counts entries in such integers, and Windows, whose path lengths are
/// 16-bit counts too, takes paths of at most this many UTF-16 code units.
inline constexpr std::size_t kInt16Max = 32767;

/// One entry more than a walk takes: it shows that a list is too long.
inline constexpr std::size_t kMaxListFields = kInt16Max + 1;

/// The most text a list holds, in bytes of UTF-8: 10 MiB, room for 32,767
/// paths of 260 characters (8.5 MB in ASCII) with some characters of two
/// bytes, while brennel-check, which holds the lists more than once, stays
/// within 64 MB.
inline constexpr std::size_t kMaxListText = std::size_t{10} << 20;

/// How far a list is read. The defaults stop where no walk can go on.
struct ListLimits {
  std::size_t fields = kMaxListFields;  // reading ends after this many fields
  /// A field longer than this (in UTF-16 code units) is kept as its
  /// beginning, an ellipsis and its end, and reading ends after its pair.
  std::size_t field_length = kInt16Max;
  /// How much of its end is kept (in code units), so that a box, which shows
  /// both ends of a path too long for it, shows what it would for the whole.
  std::size_t kept_end = kInt16Max;
  /// How much text is looked through for the end of such a field, or of what
  /// follows a closing quote; when it is not there, reading ends after it.
  std::size_t end_scan = std::size_t{4} << 20;
  /// Reading ends before the field that would take the text kept (in UTF-8,
  /// ellipses included) past this.
  std::size_t text = kMaxListText;
};

}  // namespace tavrik
