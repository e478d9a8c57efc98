#pragma once

// Lists that cannot be what their author meant: most of their pairs name no
// file on disk, and the list's own text, or a near spelling on disk, tells
// why. Told once, as the cause the pairs' missing files follow from, rather
// than as every file missing.

#include <cstddef>
#include <string>

#include "checked_list.h"
#include "dry_run.h"

namespace tavrik {

struct Unmeant {
  std::string list;                    // "Tavrik.mla" or "Tavrik.mld"; "" when the list is as meant
  std::size_t entry = 0;               // the first entry it spoils, from 1
  std::size_t pairs = 0, nothing = 0;  // the list's pairs, and those naming no file
  // "utf-16", "tabs", "from-root", "unicode-form" or "unreadable-folder"
  std::string reason;
  std::string text;     // why: "the list is UTF-16 without its byte order mark, ..."
  std::string fix;      // what to do
  bool folder = false;  // the fix is a folder's on disk, not the list's
};

/// Why most of `list`'s pairs name no file on `run`, the disk as it is
/// (paths told from `here`, the working directory); an Unmeant without a list
/// when most pairs do, or no likely reason shows. Asks the disk within a walk.
Unmeant UnmeantList(DryRun& run, const CheckedList& list, const std::string& here);

/// UTF-8 `text` with each precomposed Latin letter of U+00C0-U+017F made a
/// letter and its combining mark (as NFD has it), or each such pair made one
/// letter (as NFC has it): the forms a Mac's archive and a Windows list differ by.
std::string Decomposed(std::string_view text);
std::string Composed(std::string_view text);

}  // namespace tavrik
