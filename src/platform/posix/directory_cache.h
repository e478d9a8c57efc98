#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace tavrik {

/// The entries of one folder, found by their names' keys (name_key.h).
class Listing {
 public:
  /// Adds a name read from the folder itself, so not listed yet.
  void AddRead(std::string name);
  /// Adds `name` unless it is listed already.
  void Add(const std::string& name);
  void Remove(const std::string& name);
  void Reserve(std::size_t entries) { by_key_.reserve(entries); }

  /// The entry that `name` means, as Windows reads it: the entry spelled so,
  /// else the one entry that matches it in another case, and failing both
  /// the same for `name` without its trailing dots and spaces. Throws Error
  /// (ENOTUNIQ) naming the candidates, in `folder`, when several entries
  /// match only in another case.
  std::optional<std::string> Resolve(std::string_view name, const std::string& folder) const;

  /// True when an entry is spelled exactly `name`.
  bool Contains(const std::string& name) const;
  /// An entry other than `except` whose name matches `name` in any case,
  /// `name` itself first.
  const std::string* Taken(const std::string& name, const std::string& except) const;

 private:
  // Key -> name: one node per entry. Entries whose names differ only in
  // case share a key; every operation passes over them at most once.
  std::unordered_multimap<std::string, std::string> by_key_;
};

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
  std::unordered_map<std::string, Folder*> children;  // by the list's spelling, nullptr: none
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

  /// The folder that the list's `spelling` (Linux syntax, "" for the working
  /// directory) names, found as Windows finds it: as spelled, else each name
  /// in any case and without trailing dots. nullptr when there is none (a
  /// name missing, not a folder, too long, or a loop of links). Throws Error
  /// (with the reason only) when a folder cannot be looked at.
  Folder* Find(const std::string& spelling);

  /// The entry of `folder` that the list's `name` means and its status
  /// (links followed), or nothing when there is none. Throws Error.
  std::optional<std::string> Entry(Folder& folder, const std::string& name, struct stat& status);

  /// True when `folder` has an entry spelled exactly `name`. Throws Error.
  bool Has(Folder& folder, const std::string& name);

  /// The folder's listing, read on first use; nullptr when the folder may
  /// not be read. Throws Error when reading fails otherwise.
  const Listing* ListingOf(Folder& folder);

  /// The folder's descriptor, opening it again if it was closed. Throws.
  int Fd(Folder& folder);

  /// Keeps the listings current after this process moved `from_name` of
  /// `from` to `to_name` in `to`.
  void Moved(Folder& from, const std::string& from_name, Folder& to, const std::string& to_name);

 private:
  Folder* Open(const std::string& spelling);
  Folder* FindByComponents(const std::string& spelling);
  Folder* Child(Folder& parent, const std::string& spelling);
  Folder* Adopt(int fd, Folder* parent, std::string name, std::string path);
  void MarkOpen(Folder& folder, int fd);
  void Close(Folder& folder);

  std::unordered_map<std::string, Folder*> by_spelling_;
  std::map<Folder::Key, std::unique_ptr<Folder>> by_key_;
  std::list<Folder*> open_;  // least recently used first
};

}  // namespace tavrik
