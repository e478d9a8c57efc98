#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "list_limits.h"

namespace tavrik {

/// An entry list: path entries in file order, duplicates kept, every one
/// readable. It holds at most kMaxEntries, and at most kMaxListText bytes of
/// text when read from a file: a list file is read no further, since the
/// walk refuses a list past either before it reads any entry.
class EntryList {
 public:
  /// One more than a walk takes.
  static constexpr std::size_t kMaxEntries = kMaxListFields;

  using iterator = std::vector<std::string>::iterator;
  using const_iterator = std::vector<std::string>::const_iterator;
  using value_type = std::string;

  EntryList() = default;
  EntryList(std::initializer_list<std::string> entries) { assign(entries.begin(), entries.end()); }

  std::size_t size() const noexcept { return entries_.size(); }
  bool empty() const noexcept { return entries_.empty(); }
  /// Entry `index`, from 0, below size().
  const std::string& operator[](std::size_t index) const { return entries_[index]; }

  /// Whether reading stopped at its kMaxEntries-th entry, so that more may
  /// have followed in the file.
  bool more_followed() const noexcept { return more_followed_; }
  void set_more_followed(bool more) noexcept { more_followed_ = more; }
  /// Whether reading stopped before an entry that would have taken its text
  /// past kMaxListText, so that more text followed in the file.
  bool more_text_followed() const noexcept { return more_text_followed_; }
  void set_more_text_followed(bool more) noexcept { more_text_followed_ = more; }

  /// Appends `entries`; throws std::length_error when they do not fit.
  void append(std::vector<std::string>&& entries) {
    Room(entries.size());
    if (entries_.empty()) entries_.swap(entries);  // most often: no copy at all
    entries_.insert(entries_.end(), std::make_move_iterator(entries.begin()),
                    std::make_move_iterator(entries.end()));
  }
  /// Appends `entry`. Throws std::length_error when the list is full.
  void push_back(std::string entry) {
    Room(1);
    entries_.push_back(std::move(entry));
  }
  void assign(std::size_t count, const std::string& value) {
    clear();
    Room(count);
    entries_.assign(count, value);
  }
  template <typename Iterator>
  void assign(Iterator first, Iterator last) {
    clear();
    for (; first != last; ++first) push_back(*first);
  }
  iterator insert(const_iterator at, std::initializer_list<std::string> entries) {
    Room(entries.size());
    return entries_.insert(at, entries);
  }
  iterator erase(const_iterator first, const_iterator last) { return entries_.erase(first, last); }
  void clear() noexcept {
    entries_.clear();
    more_followed_ = more_text_followed_ = false;
  }

  iterator begin() noexcept { return entries_.begin(); }
  iterator end() noexcept { return entries_.end(); }
  const_iterator begin() const noexcept { return entries_.begin(); }
  const_iterator end() const noexcept { return entries_.end(); }

  friend bool operator==(const EntryList& a, const EntryList& b) {
    return a.more_followed_ == b.more_followed_ && a.more_text_followed_ == b.more_text_followed_ &&
           a.entries_ == b.entries_;
  }
  friend bool operator==(const EntryList& a, const std::vector<std::string>& b) {
    return !a.more_followed_ && !a.more_text_followed_ && a.entries_ == b;
  }

 private:
  void Room(std::size_t count) const {
    if (count > kMaxEntries - entries_.size()) {
      throw std::length_error("an entry list holds at most " + std::to_string(kMaxEntries) +
                              " entries");
    }
  }

  std::vector<std::string> entries_;
  bool more_followed_ = false;
  bool more_text_followed_ = false;
};

}  // namespace tavrik
