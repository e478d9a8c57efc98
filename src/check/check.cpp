// brennel-check's findings: the lists read as the tool reads them, walked by
// the tool's own Brennel on a dry run.

#include "check.h"

#include "advice.h"
#include "launcher.h"
#include "mod_state.h"
#include "shift.h"

namespace tavrik {

namespace {

// Reads a list into the Brennel's own `entries`, as Form_Load does.
CheckedList Load(DryRun& run, const char* name, bool activation, EntryList& entries) {
  CheckedList list;
  list.name = name;
  list.activation = activation;
  list.entries = &entries;
  try {
    run.OpenListFile(name);
    list.readable = true;
  } catch (const Error&) {
  }
  LoadEntryList(run, name, entries, &list.positions);
  return list;
}

}  // namespace

CheckReport Check(DryRun& run, const std::string& folder) {
  CheckReport report;
  report.folder = folder;
  run.Reset();
  Presser presser(run);
  // As Form_Load reads them: the deactivation list first.
  const CheckedList deactivation =
      Load(run, kDeactivationListFile, false, presser.brennel().colInputD);
  const CheckedList activation = Load(run, kActivationListFile, true, presser.brennel().colInputA);
  presser.Know(activation, deactivation);
  ModState state;
  if (!activation.readable && !deactivation.readable) {
    report.state = "no-lists";
    Advise(report, state, activation, presser, run);
    return report;
  }

  // The state by the activation list; by the deactivation list when only it
  // has pairs. Its pairs lie the same way: first paths for a deactivated mod.
  const bool by_activation = activation.Pairs() > 0 || deactivation.Pairs() == 0;
  const CheckedList& basis = by_activation ? activation : deactivation;
  // Pairs after a shift join the wrong files: they tell nothing of the state.
  const auto unshifted = [](const CheckedList& list) {
    const Shift shift = FindShift(list);
    return shift.entry > 0 ? shift.pair : list.Pairs();
  };
  state = Classify(run, basis, unshifted(basis));
  run.Reset();
  ModState other;  // of the deactivation list, for its missing files
  if (by_activation && *deactivation.entries == *activation.entries) {
    other = state;  // the usual lists: the same pairs, the same files
  } else if (by_activation && deactivation.Pairs() > 0) {
    other = Classify(run, deactivation, unshifted(deactivation));
    run.Reset();
  }
  if (const Shift shift = FindShift(basis); shift.entry > 0) {
    report.shift_at = basis.At(shift.entry);
    report.shift_pair = shift.pair + 1;
    report.shift_empty = shift.empty;
  }
  report.state = state.state;
  report.pairs = state.pairs;
  if (state.state == "partial") report.partial_pairs = state.through;
  report.disagreeing = state.disagreeing;
  report.missing = state.missing;

  report.activate = presser.PressBoth(true);
  report.deactivate = presser.PressBoth(false);

  Linter linter(run, folder, report.findings);
  run.BeginWalk();
  linter.Lint(activation, deactivation);
  linter.CompareLists(activation, deactivation);
  linter.Misplaced(basis, state);
  if (other.pairs > 0) linter.Misplaced(deactivation, other);
  run.EndWalk();
  for (const std::size_t pair : state.blocked) {
    report.blocking.push_back(
        {pair, basis.Second(pair - 1), by_activation && linter.OwnFile(pair)});
  }
  Advise(report, state, basis, presser, run);
  linter.Finish();
  return report;
}

int ExitStatus(const CheckReport& report) {
  if (report.state == "no-lists") return 2;
  const ButtonRun* applies = report.state == "inactive" ? &report.activate
                             : report.state == "active" ? &report.deactivate
                                                        : nullptr;
  return applies != nullptr && applies->from_now.result == "complete" && applies->round_trip ? 0
                                                                                             : 1;
}

}  // namespace tavrik
