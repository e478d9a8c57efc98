#pragma once

// The first three lines of a report, in words: the state of the mod, why
// (or what its button does), and "To ...: ..." with what to press, which a
// dry run has proved.

#include "check.h"
#include "checked_list.h"
#include "mod_state.h"
#include "presses.h"

namespace tavrik {

/// Fills report.summary, report.why and report.next. `state` is of
/// `basis`'s files; report.activate, report.deactivate and report.blocking
/// are known. The ways out are tried on `run` through `presser` (hand
/// moves, then presses, then the state they leave), from the disk as it is.
void Advise(CheckReport& report, const ModState& state, const CheckedList& basis, Presser& presser,
            DryRun& run);

/// "pair 3", "pairs 3 and 5", "pairs 3, 5, 7, 9, 11 and 20 more".
std::string PairsText(const std::vector<std::size_t>& pairs);

}  // namespace tavrik
