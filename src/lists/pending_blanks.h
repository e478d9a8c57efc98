#pragma once

#include <cstddef>
#include <vector>

#include "line_counter.h"

namespace tavrik {

/// Blank lines (and a line end after a comma) not yet known to be fields:
/// text after them makes each an empty field, the end of the file none. Of
/// a run however long, only the places of as many as can be fields are kept.
class PendingBlanks {
 public:
  explicit PendingBlanks(std::size_t most) : most_(most) {}

  void Add(const Place& place) {
    if (places_.size() < most_) places_.push_back(place);
  }
  /// Some wait to be handed out, in order, as empty fields.
  bool Any() const { return next_ < places_.size(); }
  Place Take() { return places_[next_++]; }
  void Clear() {
    places_.clear();
    next_ = 0;
  }

 private:
  std::size_t most_;
  std::vector<Place> places_;
  std::size_t next_ = 0;
};

}  // namespace tavrik
