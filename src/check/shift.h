#pragma once

// Where a list's pairs start to be shifted by one entry: a blank line, or a
// line forgotten or doubled, pairs every later entry with the wrong one.

#include <cstddef>

#include "checked_list.h"

namespace tavrik {

struct Shift {
  std::size_t entry = 0;  // the entry that shifts the pairs after it, from 1; 0: none
  bool empty = false;     // it is an empty entry; else its pairs' names tell
  std::size_t pair = 0;   // the first pair it spoils, from 0
};

/// The first shift of `list`: its first empty entry that has pairs after
/// it, or, before that, the first pair whose two names differ (after pairs
/// whose names agree, "x.dds.off" and "x.dds") where leaving one of its
/// entries out makes the next two pairs agree again.
Shift FindShift(const CheckedList& list);

}  // namespace tavrik
