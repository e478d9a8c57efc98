#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "byte_source.h"
#include "error_condition.h"
#include "field_scanner.h"
#include "text_encoding.h"

namespace tavrik {

/// Where a field starts in its list file: 1-based line and column. Lines end
/// at CR LF, a lone LF or a lone CR, also inside quotes; the column counts
/// characters from the line's start up to the field's first one (its opening
/// quote; for an empty field, where it would start).
struct FieldPosition {
  std::size_t line = 0;
  std::size_t column = 0;
  friend bool operator==(const FieldPosition&, const FieldPosition&) = default;
};

/// Reads a list file one field at a time. Fields are separated by commas and
/// line ends; a field in double quotes may hold commas and line ends. The
/// README's "List file format" section is the full definition.
///
/// It reads only as far as a walk can reach (ListLimits), in a buffer of
/// bounded size, whatever the file holds.
///
/// Usage: Open, then ReadField (or SkipField) until it throws (EndOfList at
/// the end), then Close. Every failure is an Error.
class ListReader {
 public:
  /// `legacy` reads files that are neither UTF-8 nor UTF-16 (Windows-1252
  /// unless the platform knows better).
  explicit ListReader(LegacyDecoder legacy = DecodeWindows1252, const ListLimits& limits = {});

  /// Reads from `source`, which must stay open until Close.
  void Open(ByteSource& source);
  /// Reads from `source` and closes it in Close.
  void Open(std::unique_ptr<ByteSource> source);

  /// The next field. Throws EndOfList when none remains or reading stopped
  /// (StoppedBy), or the read failure that cut the file short.
  std::string ReadField();
  /// Passes over the next field as ReadField does, without making its text.
  void SkipField();
  /// Where the field last returned or passed over starts; line 0 before.
  FieldPosition Position() const { return position_; }
  /// Why reading ended before the end of the file, once ReadField has said
  /// it ended.
  ReadingStop StoppedBy() const { return scanner_.Stop(); }

  /// Closes the file. Harmless when Open failed or was never called.
  void Close() noexcept;

 private:
  // A place in the slots: a block, a slot in it, and the slot itself once
  // looked up.
  struct SlotCursor {
    std::size_t block = 0, slot = 0;
    RawField* at = nullptr;
    bool operator==(const SlotCursor& other) const {
      return block == other.block && slot == other.slot;
    }
  };

  bool Advance();
  bool Conclude();
  RawField& SlotAt(SlotCursor& cursor);
  void Step(SlotCursor& cursor) const;
  bool Take(RawField& field, bool waited);
  bool Ready(bool ascii) const;
  [[noreturn]] void RaiseAtEnd() const;
  std::string Decoded(std::string_view bytes) const;

  LegacyDecoder legacy_;
  FieldScanner scanner_;
  std::unique_ptr<ByteSource> owned_;
  // Fields read while the file may still turn out not to be UTF-8 wait,
  // in order, until a byte that is not UTF-8 comes or reading ends: in the
  // slots from next_ to end_. Slots come in blocks that never move, each
  // twice the one before, and stay for the next fields that wait.
  static constexpr std::size_t kFirstSlots = 16;
  std::vector<std::unique_ptr<RawField[]>> slots_;
  SlotCursor next_, end_;
  RawField current_;             // the field read when none waits
  RawField* taken_ = &current_;  // the field last taken
  FieldPosition position_;
  bool concluded_ = false;
};

}  // namespace tavrik
