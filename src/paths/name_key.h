#pragma once

// Names as NTFS compares them.

#include <string>
#include <string_view>

namespace tavrik {

/// `name` as NTFS compares it: every character below U+10000 through the
/// uppercase table that mkfs.ntfs writes, every other character as it is.
/// Two names that such a volume takes for the same file have the same key
/// ("Über" and "üBER"; not "ß" and "ẞ", nor "ı" and "I", nor the Kelvin sign
/// and "k"). Bytes that are not well-formed UTF-8 are kept as they are and
/// only match themselves.
std::string NameKey(std::string_view name);

}  // namespace tavrik
