#pragma once

// brennel-check's two ways of telling what it found: a short text for
// people, and one JSON object for tools.

#include <string>

#include "check.h"

namespace tavrik {

/// A few lines of text: the folder, the state, what each button would do,
/// then one line a finding, grouped by list, as compilers print them.
/// `colour` marks the state and the severities with ANSI colours.
std::string TextReport(const CheckReport& report, bool colour);

/// One JSON object and a line end.
std::string JsonReport(const CheckReport& report);

}  // namespace tavrik
