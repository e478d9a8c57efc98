#include "presses.h"

#include "list_path.h"
#include "mod_state.h"
#include "shown_text.h"

namespace tavrik {

namespace {

// Files named with their cause when a round trip leaves files elsewhere;
// the others are counted.
constexpr std::size_t kNamedFiles = 5;

std::string NewName(const std::string& target) {
  const ListPath path = ParseListPath(target);
  return path.names.empty() ? std::string() : std::string(WithoutTrailingDots(path.names.back()));
}

}  // namespace

std::string LastName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

Outcome Presser::Press(bool activate) {
  Outcome outcome;
  counting_.tests = 0;
  run_.messages.clear();
  run_.TakeRenames();
  try {
    activate ? brennel_.Command3_Click() : brennel_.Command4_Click();
    if (!run_.messages.empty()) {
      outcome.result = "missing";
      outcome.text = run_.messages.front();
    } else if (counting_.tests > 0) {
      outcome.result = "complete";
    }
  } catch (const Error& error) {
    outcome.result = "error";
    outcome.text = ErrorText(error);
  }
  if (outcome.result != "complete" && counting_.tests > 0) {
    outcome.pair = counting_.tests;
    const CheckedList* list = lists_[activate ? 0 : 1];
    if (list != nullptr) outcome.at = list->At(list->SourceEntry(*outcome.pair - 1));
  }
  outcome.renames = run_.TakeRenames();
  return outcome;
}

ButtonRun Presser::PressBoth(bool activate_first) {
  run_.Reset();
  ButtonRun both;
  std::vector<std::size_t> renamed[2];
  counting_.renamed = &renamed[0];
  both.from_now = Press(activate_first);
  counting_.renamed = &renamed[1];
  both.then_other = Press(!activate_first);
  counting_.renamed = nullptr;
  both.round_trip = run_.AllBack();
  // Files that only the second press moved are not a way there and back.
  if (!both.round_trip && both.from_now.renames > 0) {
    const auto moved = run_.Moved();
    for (const auto& [from, to] : moved) {
      if (both.displaced.size() == kNamedFiles) break;
      both.displaced.push_back({from, to, ""});
      both.displaced.back().cause = Cause(both.displaced.back(), activate_first, both, renamed);
    }
    both.displaced_unnamed = moved.size() - both.displaced.size();
  }
  run_.Reset();
  return both;
}

// Why a file ends at `file.to`: found from the rename that put it there,
// the latest whose new name is its name.
std::string Presser::Cause(const Displaced& file, bool activate_first, const ButtonRun& both,
                           const std::vector<std::size_t> (&renamed)[2]) {
  if (lists_[0] == nullptr) return "";
  const std::string name = LastName(file.to);
  for (int press = 1; press >= 0; --press) {
    const bool activate = (press == 0) == activate_first;
    const CheckedList& list = *lists_[activate ? 0 : 1];
    for (auto at = renamed[press].rbegin(); at != renamed[press].rend(); ++at) {
      const std::size_t pair = *at - 1;
      if (NewName(list.Target(pair)) != name) continue;
      const std::string where = list.At(list.TargetEntry(pair));
      bool respelled = false;
      try {
        respelled = run_.Facts(file.from).identity == run_.Facts(file.to).identity;
      } catch (const Error&) {
      }
      if (respelled) {
        return std::string(ButtonOf(activate)) + " makes it in the list's spelling, " +
               Named(name) + ", which differs from the disk's in case: spell it " +
               Named(LastName(file.from)) + " at " + where;
      }
      if (press == 1) {
        return "pair " + std::to_string(pair + 1) + " of " + list.name + " (" + where +
               ") moves it there, not back";
      }
      const char* other = ButtonOf(!activate_first);
      if (both.then_other.result != "complete" && both.then_other.pair) {
        return std::string(other) + " stops at pair " + std::to_string(*both.then_other.pair) +
               " and does not get it back";
      }
      return std::string("no pair of ") + lists_[activate ? 1 : 0]->name + " moves it back";
    }
  }
  return "";
}

}  // namespace tavrik
