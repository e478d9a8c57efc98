#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavrik {

/// The entries of one directory, found by their case-folded names.
class Listing {
 public:
  /// The names of the entries that match `name` without regard to case,
  /// an exact match among them.
  std::vector<std::string> Matching(const std::string& name) const;
  void Add(const std::string& name);
  void Remove(const std::string& name);
  void Reserve(std::size_t entries) { by_folded_name_.reserve(entries); }

 private:
  // Folded name -> name: one node per entry, as most names fold uniquely.
  std::unordered_multimap<std::string, std::string> by_folded_name_;
};

/// What one walk has learnt of the directories it looked into, so that it
/// reads each directory once rather than once per entry. A walk trusts what
/// it learnt until it ends; its own renames keep the listings current, and
/// Forget() at the start of the next walk lets that walk see changes made by
/// other programs meanwhile. A file another program creates during a walk
/// may go unseen by the any-case check; the rename itself still never
/// replaces a file.
class DirectoryCache {
 public:
  /// A directory's identity on disk: two spellings of one directory share it.
  using Key = std::pair<dev_t, ino_t>;

  /// Drops everything learnt.
  void Forget();

  /// The identity of the directory at `path` ("" is the working directory),
  /// or nothing when `path` is not a directory. Throws Error when it cannot
  /// be looked at.
  std::optional<Key> KeyOf(const std::string& path);

  /// The listing of the directory at `path`, or nullptr when `path` is not a
  /// directory. Throws Error when the directory cannot be read.
  const Listing* Find(const std::string& path);

  /// Keeps the listings current after this process moved the entry
  /// `from_name` of directory `from` to `to_name` in directory `to`.
  void Moved(const std::string& from, const std::string& from_name, const std::string& to,
             const std::string& to_name);

 private:
  static Listing Read(const std::string& path);

  std::unordered_map<std::string, std::optional<Key>> keys_;  // by spelling
  std::map<Key, Listing> listings_;
};

}  // namespace tavrik
