#pragma once

// The first three lines of a report, in words: the state of the mod, why
// (what stops its walk, first), and "To ...: ..." with what to do, which
// the dry runs proved to the end.

#include "check.h"
#include "checked_list.h"
#include "mod_state.h"
#include "presses.h"

namespace tavrik {

/// Fills report.summary, report.why, report.next and report.moves. `state`
/// is of `basis`'s files; report.activate and report.deactivate are known.
/// Other ways out are tried on the dry run through `presser`.
void Advise(CheckReport& report, const ModState& state, const CheckedList& basis, Presser& presser);

}  // namespace tavrik
