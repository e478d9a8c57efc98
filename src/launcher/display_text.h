#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrik {

/// A path of a message longer than this many characters is shown as its
/// beginning and its end joined by an ellipsis...
inline constexpr std::size_t kShownPathLength = 300;
/// ...and so is the whole message, whatever the number of paths it names.
inline constexpr std::size_t kShownTextLength = 1000;

/// `text` (UTF-8) as a message box shows it. The box must lay out at once
/// and fit on the screen, whatever the lists hold:
/// - each part of the text between single quotes (error descriptions quote
///   their paths) and then the whole text are shortened in the middle to
///   the lengths above, so the words around the paths stay;
/// - control characters become their visible symbols (U+2400 for NUL and
///   so on), so a NUL cannot end the text and every line break is the
///   box's own.
/// Characters are counted as code points and never cut in two; a cut does
/// not separate a combining mark from its letter.
std::string BoxText(std::string_view text);

/// `text` with `line_break` inserted into every word (a run without a
/// space) of more than `longest_word` characters, after each `chunk` of
/// its characters, so that a box can wrap it. Never between a letter and
/// its combining marks.
std::string WithLineBreaks(std::string_view text, std::size_t longest_word, std::size_t chunk,
                           std::string_view line_break);

}  // namespace tavrik
