#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace tavrik {

/// An entry list: path entries in file order, duplicates kept. It counts
/// every entry but keeps only the first kKept. The walk refuses a longer
/// list before it reads any entry, so nothing ever reads past them, and a
/// list file of millions of entries costs no more than its first ones.
class EntryList {
 public:
  static constexpr std::size_t kKept = 32768;

  using iterator = std::vector<std::string>::iterator;
  using const_iterator = std::vector<std::string>::const_iterator;
  using value_type = std::string;

  EntryList() = default;
  EntryList(std::initializer_list<std::string> entries) { assign(entries.begin(), entries.end()); }

  /// The number of entries, kept or only counted.
  std::size_t size() const noexcept { return kept_.size() + counted_; }
  bool empty() const noexcept { return size() == 0; }
  /// Entry `index`, from 0; only the first kKept entries can be read.
  const std::string& operator[](std::size_t index) const { return kept_.at(index); }

  /// Appends `entry`; past the first kKept entries it is only counted.
  void push_back(std::string entry) {
    if (kept_.size() < kKept) {
      kept_.push_back(std::move(entry));
    } else {
      ++counted_;
    }
  }
  /// `count` entries of `value`.
  void assign(std::size_t count, const std::string& value) {
    clear();
    kept_.assign(count < kKept ? count : kKept, value);
    counted_ = count - kept_.size();
  }
  template <typename Iterator>
  void assign(Iterator first, Iterator last) {
    clear();
    for (; first != last; ++first) push_back(*first);
  }
  void clear() noexcept {
    kept_.clear();
    counted_ = 0;
  }

  // The kept entries, in order. Edits through them suit lists kept whole
  // (fewer than kKept entries), as tests build them.
  iterator begin() noexcept { return kept_.begin(); }
  iterator end() noexcept { return kept_.end(); }
  const_iterator begin() const noexcept { return kept_.begin(); }
  const_iterator end() const noexcept { return kept_.end(); }
  iterator insert(const_iterator at, std::initializer_list<std::string> entries) {
    return kept_.insert(at, entries);
  }
  iterator erase(const_iterator first, const_iterator last) { return kept_.erase(first, last); }

  friend bool operator==(const EntryList& a, const EntryList& b) {
    return a.counted_ == b.counted_ && a.kept_ == b.kept_;
  }
  friend bool operator==(const EntryList& a, const std::vector<std::string>& b) {
    return a.counted_ == 0 && a.kept_ == b;
  }

 private:
  std::vector<std::string> kept_;
  std::size_t counted_ = 0;  // entries past the kept ones
};

}  // namespace tavrik
