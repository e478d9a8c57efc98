#pragma once

// Text from a list or a file name, made safe to print on a terminal: a
// mod's list comes from strangers, and an escape sequence in it could set
// the terminal's title, colours or clipboard.

#include <string>
#include <string_view>

namespace tavrik {

/// `text` with every control character and bidirectional control shown as
/// its code, `<U+001B>`: C0 (U+0000-U+001F), DEL, C1 (U+0080-U+009F) and
/// Unicode's Bidi_Control characters (U+061C, U+200E, U+200F,
/// U+202A-U+202E, U+2066-U+2069). A byte that is not well-formed UTF-8 is
/// shown as `<0xFF>`. Everything else, the backslash included, stays as it
/// is.
std::string ShownText(std::string_view text);

/// A path or name as a report names it, in single quotes: whole up to 200
/// bytes; a longer one (a list's field may hold 32,767 characters) as its
/// first and last 96 bytes or so, joined by an ellipsis, cut between
/// characters. The list's line and column lead to the whole of it.
std::string Named(std::string_view path);

}  // namespace tavrik
