// brennel-check's findings: the lists read as the tool reads them, walked by
// the tool's own Brennel on a dry run.

#include "check.h"

#include "launcher.h"

namespace tavrik {

namespace {

// Reads a list into the Brennel's own `entries`, as Form_Load does.
CheckedList Load(DryRun& run, const char* name, bool activation, EntryList& entries) {
  CheckedList list;
  list.name = name;
  list.activation = activation;
  list.entries = &entries;
  list.readable = Goes([&] { run.OpenListFile(name); });
  LoadEntryList(run, name, entries, &list.positions);
  list.shift = FindShift(list);
  return list;
}

}  // namespace

CheckReport Check(DryRun& run, const std::string& folder) {
  CheckReport report;
  report.folder = folder;
  run.Reset();
  Presser presser(run, folder);
  // As Form_Load reads them: the deactivation list first.
  const CheckedList deactivation =
      Load(run, kDeactivationListFile, false, presser.brennel().colInputD);
  const CheckedList activation = Load(run, kActivationListFile, true, presser.brennel().colInputA);
  presser.Know(activation, deactivation);
  if (!activation.readable && !deactivation.readable) {
    Advise(report, ModState(), presser);
    return report;
  }
  // The state by the activation list; by the deactivation list when only it
  // has pairs. Its pairs lie the same way: first paths for a deactivated mod.
  const bool by_activation = activation.Pairs() > 0 || deactivation.Pairs() == 0;
  const CheckedList& basis = by_activation ? activation : deactivation;
  std::vector<PairPlace> places = Locate(run, basis), by_deactivation = places;
  if (by_activation && deactivation.Pairs() > 0 &&
      !(*deactivation.entries == *activation.entries)) {
    by_deactivation = Locate(run, deactivation);
  }
  const ModState state = StateOf(std::move(places), by_deactivation, basis.shift.entry > 0);
  if (basis.shift.entry > 0) {
    report.shift_at = basis.At(basis.shift.entry);
    report.shift_pair = basis.shift.pair + 1;
    report.shift_empty = basis.shift.empty;
  }
  report.state = state.state;
  report.pairs = state.places.size();
  report.stop = state.stop;
  report.moved = state.At(PairPlace::kSecond);
  report.missing = state.At(PairPlace::kNeither);
  report.both = state.At(PairPlace::kBoth);
  report.unknown = state.At(PairPlace::kUnknown);
  for (const std::size_t pair : report.missing) {
    if (!presser.InTwin(basis.Source(pair - 1)).empty()) report.in_twins.push_back(pair);
  }
  const bool inactive = report.state == State::kInactive || report.state == State::kIncomplete;
  // No file at a second path, nor one at both of a pair's: no target was there.
  if (by_activation && inactive && state.At(PairPlace::kSame).empty()) presser.KnowNoTargets();
  presser.Both(!inactive, report.activate, report.deactivate);

  Linter linter(run, presser, folder, report.findings);
  run.BeginWalk();
  linter.Lint(activation, deactivation);
  linter.Misplaced(basis, state);
  if (by_activation && deactivation.Pairs() > 0) {  // its missing files, in its own lines
    linter.Misplaced(deactivation, ModState{State::kInactive, by_deactivation, 0});
  }
  run.EndWalk();
  linter.Stopped(activation, report.activate.from_now());
  linter.Stopped(deactivation, report.activate.then_other());
  linter.Stopped(deactivation, report.deactivate.from_now());
  linter.Stopped(activation, report.deactivate.then_other());
  linter.Finish();
  Advise(report, state, presser);
  return report;
}

int ExitStatus(const CheckReport& report) {
  if (report.state == State::kNoLists) return 2;
  const Trial* applies = report.state == State::kInactive ? &report.activate
                         : report.state == State::kActive ? &report.deactivate
                                                          : nullptr;
  const bool clean =
      applies != nullptr && applies->from_now().result == Result::kComplete && applies->round_trip;
  return clean ? 0 : 1;
}

}  // namespace tavrik
