#pragma once

// Text as brennel-check prints it. A mod's list comes from strangers, and an
// escape sequence in it could set the terminal's title, colours or
// clipboard: everything from a list or a file name goes through ShownText.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrik {

/// `text` with each control character (C0, DEL, C1) and bidirectional
/// control (Bidi_Control) shown as its code, `<U+001B>`, and each byte that
/// is not well-formed UTF-8 as `<0xFF>`; the rest, backslashes too, as it is.
std::string ShownText(std::string_view text);

/// A path or name in single quotes (or `quote`s: a box's text): whole up to 200 bytes; a
/// longer one (a field may hold 32,767 characters) as its first and last 96 bytes or so, cut
/// between characters and joined by an ellipsis. The list's line and column lead to the whole.
std::string Named(std::string_view path, char quote = '\'');

/// 32767 as "32,767".
std::string Thousands(std::size_t number);

/// "1 pair", "1,901 pairs", "2 entries".
std::string Counted(std::size_t count, std::string_view noun);

/// Pairs (from 1, ascending) in words, runs joined: "pair 3", "pairs 1-150",
/// "pairs 2, 4, 6, 8, 10 and 145 more".
std::string PairsText(const std::vector<std::size_t>& pairs);

/// A path's folder ("" when there is none) and last name, after its last
/// separator, not copied; and each of them alone.
std::pair<std::string_view, std::string_view> FolderAndName(std::string_view path);
std::string LastName(const std::string& path);
std::string FolderOf(const std::string& path);

/// `where`, a path from the root, from the folder `here` when inside it.
std::string FromHere(const std::string& where, const std::string& here);

}  // namespace tavrik
