#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "listing.h"

namespace tavrik {

/// A folder that a walk has opened. Its listing is read only when a name in
/// it is not found as the list spells it, or a target is put into it.
struct Folder {
  using Key = std::pair<dev_t, ino_t>;

  Key key;
  std::string path;  // as found on disk, from the working directory
  // How to open it again once closed: `name` in `parent`, or `path`.
  Folder* parent = nullptr;
  std::string name;
  int fd = -1;  // O_PATH, or -1 while closed
  std::list<Folder*>::iterator open_position;
  std::optional<Listing> listing;
  bool unlistable = false;                            // the folder may be entered but not read
  std::unordered_map<std::string, Folder*> children;  // by the list's spelling; nullptr: none
};

/// What one walk knows of the folders it touches, so that it resolves and
/// reads each folder once and tests and renames files relative to it. A
/// walk trusts what it learnt until it ends; its own renames keep the
/// listings current, and Forget() at the start of the next walk lets that
/// walk see changes made by other programs meanwhile. A file another program
/// creates during a walk may go unseen by the any-case check; the rename
/// itself still never replaces a file.
class DirectoryCache {
 public:
  /// At most this many folders are open at once; past it the one used
  /// longest ago is closed, and opened again if it is needed again.
  static constexpr std::size_t kMaxOpenFolders = 64;

  DirectoryCache() = default;
  ~DirectoryCache();
  DirectoryCache(const DirectoryCache&) = delete;
  DirectoryCache& operator=(const DirectoryCache&) = delete;

  /// Closes every folder and drops everything learnt.
  void Forget();

  /// The folder that the list's `spelling` ("" for the working directory)
  /// names, found as Windows finds it: as spelled, else each name
  /// in any case and without trailing dots. nullptr when there is none (a
  /// name missing, not a folder, too long, or a loop of links). Throws Error
  /// (with the reason only) when a folder cannot be looked at.
  Folder* Find(std::string_view spelling);

  /// Finds the entry of `folder` that the list's `name` (without a
  /// separator) means: true, with `name` spelled as on disk and its status
  /// (links followed) in `status`, or false when there is none. Throws
  /// Error.
  bool Entry(Folder& folder, std::string& name, struct stat& status);

  /// True when `folder` has an entry spelled exactly `name`. Throws Error.
  bool Has(Folder& folder, const std::string& name);

  /// The folder's listing, read on first use; nullptr when the folder may
  /// not be read. Throws Error when reading fails otherwise.
  const Listing* ListingOf(Folder& folder);

  /// The folder's descriptor, opening it again if it was closed. Throws.
  int Fd(Folder& folder);

  /// Keeps the listings current after this process moved `from_name` of
  /// `from` to `to_name` in `to`, a name that no entry had.
  void Moved(Folder& from, std::string_view from_name, Folder& to, std::string_view to_name);

 private:
  Folder* Open(const std::string& spelling);
  Folder* FindByComponents(const std::string& spelling);
  Folder* Child(Folder& parent, const std::string& spelling);
  Folder* Adopt(int fd, Folder* parent, std::string name, std::string path);
  void MarkOpen(Folder& folder, int fd);
  void Close(Folder& folder);

  struct SpellingHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>()(text);
    }
  };
  std::unordered_map<std::string, Folder*, SpellingHash, std::equal_to<>> by_spelling_;
  struct Recent {
    const std::string* spelling = nullptr;  // a key of by_spelling_
    Folder* folder = nullptr;
  };
  std::array<Recent, 2> recent_;  // the last two spellings looked up
  int next_recent_ = 0;
  std::map<Folder::Key, std::unique_ptr<Folder>> by_key_;
  std::list<Folder*> open_;  // least recently used first
};

}  // namespace tavrik
