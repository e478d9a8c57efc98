#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tavrik {

/// `text` (UTF-8) as a message box shows it, in at most `limit` characters
/// (code points), so that the box lays out at once and fits on the screen
/// whatever the lists hold:
/// - a text of at most `limit` characters is shown whole;
/// - a longer one loses the middle of its longest parts first: the parts
///   between single quotes (error descriptions quote their paths) and the
///   rest are each cut to their beginning and end joined by an ellipsis, all
///   to one length, so that the words around the paths stay; only when
///   that cannot reach `limit` is the whole text cut the same way;
/// - control characters become their visible symbols (U+2400 for NUL and
///   so on), so a NUL cannot end the text and every line break is the
///   box's own.
/// A cut never splits a character, nor separates a combining mark from its
/// letter.
std::string BoxText(std::string_view text, std::size_t limit);

/// BoxText(text, n) for the largest n, found in a few steps, whose result
/// fits in a box: `room_taken` measures a result with the box's font and
/// returns the share of the box's room it takes (1 fills it). `estimate`
/// is how many characters of average width fill the room: a text of up to
/// twice that is tried whole first, a longer one cut to it; each result
/// that does not fit is followed by one shorter in proportion, down to a
/// few dozen characters.
std::string FittingBoxText(std::string_view text, std::size_t estimate,
                           const std::function<double(const std::string& shown)>& room_taken);

}  // namespace tavrik
