#pragma once

// A platform for checking lists: its walks change nothing. Presence tests
// see the disk as the renames so far would have left it; a rename is checked
// as the system would check it, then only recorded, by the real name rules
// of each system (dry_run_posix.cpp, dry_run_win32.cpp).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform.h"
#include "system_platform.h"

namespace tavrik {

/// What a list's path reaches on the disk, with the renames recorded so far.
struct PathFacts {
  bool folder_found = false;  // the folder it names a file in is there
  bool file_found = false;    // ...and in it an entry its last name means
  // Names found only in another case, or only without their trailing dots
  // and spaces: on the way to the folder, and the last name.
  bool folder_other_case = false, folder_trailing_dots = false;
  bool file_other_case = false, file_trailing_dots = false;
  std::string where;  // the absolute path it leads to, as the disk spells it
};

class DryRun : public Platform {
 public:
  /// Forgets every rename recorded: the disk as it is.
  virtual void Reset() = 0;
  /// Renames recorded since Reset or the last call.
  virtual std::size_t TakeRenames() = 0;
  /// Where each moved file was and where it is now, from the working directory.
  virtual std::vector<std::pair<std::string, std::string>> Moved() const = 0;
  /// Every file is where it was: Moved() would be empty.
  virtual bool AllBack() const = 0;
  /// Throws Error where a name on the way is ambiguous.
  virtual PathFacts Facts(const std::string& path) = 0;
  /// The names of the folder at `folder` (a path as PathFacts::where spells
  /// it) that differ from another there only in case, in groups; none when
  /// it cannot be read. Windows takes each group for one name. The disk as it is.
  virtual std::vector<std::vector<std::string>> CaseTwins(const std::string& folder);
  /// The names in the folder at `folder` (as PathFacts::where spells it),
  /// each with whether it is a folder; none when it cannot be read. The disk as it is.
  virtual std::vector<std::pair<std::string, bool>> FolderNames(const std::string& folder);
  /// Every folder listed so far could be, and holds no two names that Windows
  /// takes for one (CaseTwins, or a name and it with dots at its end): then
  /// two paths that differ only in the case of their letters lead to one place.
  virtual bool Twinless() const { return false; }

  /// The boxes a walk would have shown, and the pair it announced last (from
  /// 1, 0 before any): where a walk that stops stopped.
  std::vector<std::string> messages;
  std::size_t pair = 0;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void BeginPair(std::size_t number, const std::string&, const std::string&) override {
    pair = number;
  }
  // Lists are read as the tool reads them.
  std::unique_ptr<ByteSource> OpenListFile(const std::string& name) override {
    return system_.OpenListFile(name);
  }
  std::string DecodeLegacyText(std::string_view bytes) override {
    return system_.DecodeLegacyText(bytes);
  }

 private:
  SystemPlatform system_{nullptr};
};

/// What an error of a walk means, by this system's numbers.
enum class Failure : unsigned char { kOther, kAmbiguous, kTaken, kNotFound, kRefused };
Failure FailureOf(std::int64_t number);

/// Why the system refuses with `number` to move the file at `source` into
/// the folder `folder` (paths as PathFacts::where spells them), and what to
/// do, naming paths from `here`; "" when that cannot be told.
std::pair<std::string, std::string> RefusalCause(std::int64_t number, const std::string& source,
                                                 const std::string& folder,
                                                 const std::string& here);

/// Why a folder on the way from `here` to `path` (as PathFacts::where spells
/// it, or a list) may not be read by the user, and what to do: there a walk
/// finds a name only as the disk spells it, or none at all; "" when none is.
std::pair<std::string, std::string> UnreadableCause(const std::string& path,
                                                    const std::string& here);

/// Whether `path` (as PathFacts::where spells it) is a folder: a dry run moves none.
bool IsFolderPath(const std::string& path);

/// A line for this system's shell that moves `from` to `to` and never replaces a file.
std::string MoveCommand(const std::string& from, const std::string& to);

/// `name` as the system compares names: equal for two that name one file.
std::string NameKeyOf(std::string_view name);

/// A dry run that records its renames on top of the disk by `Place` (how the
/// system tells entries apart), with `Data`, what it keeps of a moved entry.
template <typename Place, typename Data>
class RecordingDryRun : public DryRun {
 public:
  void Reset() override {
    places_.clear();
    renames_ = 0;
  }
  std::size_t TakeRenames() override { return std::exchange(renames_, 0); }
  std::vector<std::pair<std::string, std::string>> Moved() const override {
    std::vector<std::pair<std::string, std::string>> moved;
    for (const auto& [place, entry] : places_) {
      if (entry && &place != entry->origin) moved.push_back(PathsOf(place, *entry));
    }
    return moved;
  }
  bool AllBack() const override {
    return std::ranges::none_of(
        places_, [](const auto& at) { return at.second && &at.first != at.second->origin; });
  }

 protected:
  struct Entry {
    Data data;
    // Where the entry was before the run: a key of the map, which stays put
    // (a check records thousands of moves).
    const Place* origin;
  };
  /// By place; none where an entry went and none came.
  using Places = std::map<Place, std::optional<Entry>>;

  /// What the renames left at `place`, or nullptr where they changed nothing.
  const std::optional<Entry>* At(const Place& place) const {
    const auto found = places_.find(place);
    return found == places_.end() ? nullptr : &found->second;
  }
  const Places& AllPlaces() const { return places_; }
  /// Where `entry`, now at `place`, was and is, from the working directory.
  virtual std::pair<std::string, std::string> PathsOf(const Place& place,
                                                      const Entry& entry) const = 0;
  /// The entry at `from` goes to `to`; `data` is what it is now.
  void RecordMove(const Place& from, const Place& to, Data data) {
    // None before its first move: it came from here.
    const auto there = places_.try_emplace(from).first;
    Entry moved{std::move(data), there->second ? there->second->origin : &there->first};
    there->second.reset();
    places_[to] = std::move(moved);
    ++renames_;
  }

 private:
  Places places_;
  std::size_t renames_ = 0;  // since TakeRenames
};

/// The dry run of this system's rules.
std::unique_ptr<DryRun> MakeDryRun();

}  // namespace tavrik
