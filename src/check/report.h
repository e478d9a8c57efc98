#pragma once

// brennel-check's ways of telling what it found: a screen of text for
// people, one JSON object for tools, and the moves by hand as commands.

#include <string>

#include "check.h"

namespace tavrik {

/// Text of at most 40 lines: the three lines, the folder, what each button
/// would do, then the findings grouped by kind and cause. `all`: every
/// finding and every file, one a line. `colour` marks the state and the
/// severities with ANSI colours.
std::string TextReport(const CheckReport& report, bool colour, bool all);

/// One JSON object and a line end: everything the check found.
std::string JsonReport(const CheckReport& report);

/// The moves by hand that the third line starts with, one command a line.
std::string MovesReport(const CheckReport& report);

}  // namespace tavrik
