#pragma once

#include <string>
#include <string_view>

namespace tavrik {

/// `name` with every character replaced by its Unicode simple case folding,
/// so that two names Windows takes for the same file fold to the same text
/// ("Über" and "üBER"; "ß" and "ss" stay apart, as on Windows). Bytes that are
/// not well-formed UTF-8 are kept as they are and only match themselves.
std::string FoldCase(std::string_view name);

}  // namespace tavrik
