// brennel-check's findings: the lists read as the tool reads them, walked by
// the tool's own Brennel on a dry run.

#include "check.h"

#include "advice.h"
#include "launcher.h"

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

// The pairs a list's state is told by: those before a shift.
std::size_t Told(const Presser& presser, const CheckedList& list) {
  const Shift& shift = presser.ShiftOf(list);
  return shift.entry > 0 ? shift.pair : list.Pairs();
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
  ModState state;
  if (!activation.readable && !deactivation.readable) {
    Advise(report, state, activation, presser);
    return report;
  }
  // The state by the activation list; by the deactivation list when only it
  // has pairs. Its pairs lie the same way: first paths for a deactivated mod.
  const bool by_activation = activation.Pairs() > 0 || deactivation.Pairs() == 0;
  const CheckedList& basis = by_activation ? activation : deactivation;
  std::vector<Place> places = Locate(run, basis, Told(presser, basis)), by_deactivation = places;
  run.Reset();
  const bool apart =
      by_activation && deactivation.Pairs() > 0 && !(*deactivation.entries == *activation.entries);
  if (apart) {
    by_deactivation = Locate(run, deactivation, Told(presser, deactivation));
    run.Reset();
  }
  const Shift& shift = presser.ShiftOf(basis);
  state = StateOf(std::move(places), by_deactivation, shift.entry > 0);
  if (shift.entry > 0) {
    report.shift_at = basis.At(shift.entry);
    report.shift_pair = shift.pair + 1;
    report.shift_empty = shift.empty;
  }
  report.state = state.state;
  report.pairs = state.places.size();
  report.stop = state.stop;
  report.moved = state.At(Place::kSecond);
  report.missing = state.At(Place::kNeither);
  report.both = state.At(Place::kBoth);
  report.unknown = state.At(Place::kUnknown);
  for (const std::size_t pair : report.missing) {
    if (!presser.InTwin(basis.Source(pair - 1)).empty()) report.in_twins.push_back(pair);
  }

  report.activate = presser.Run({}, {true, false, true});
  report.deactivate = presser.Run({}, {false, true, false});

  Linter linter(run, presser, folder, report.findings);
  run.BeginWalk();
  linter.Lint(activation, deactivation);
  linter.CompareLists(activation, deactivation);
  linter.Misplaced(basis, state);
  if (by_activation && deactivation.Pairs() > 0) {  // its missing files, in its own lines
    linter.Misplaced(deactivation,
                     ModState{State::kInactive, apart ? by_deactivation : state.places, 0});
  }
  run.EndWalk();
  for (const Trial* trial : {&report.activate, &report.deactivate}) {
    for (std::size_t press = 0; press < 2 && press < trial->presses.size(); ++press) {
      const bool activate = (press == 0) == (trial == &report.activate);
      linter.Stopped(activate ? activation : deactivation, trial->presses[press]);
    }
  }
  linter.Finish();
  Advise(report, state, basis, presser);
  return report;
}

int ExitStatus(const CheckReport& report) {
  if (report.state == State::kNoLists) return 2;
  const Trial* applies = report.state == State::kInactive ? &report.activate
                         : report.state == State::kActive ? &report.deactivate
                                                          : nullptr;
  return applies != nullptr && applies->from_now().result == Result::kComplete &&
                 applies->round_trip
             ? 0
             : 1;
}

}  // namespace tavrik
