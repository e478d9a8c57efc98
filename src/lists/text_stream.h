#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "byte_source.h"
#include "error_condition.h"
#include "text_encoding.h"

namespace tavrik {

/// A list file's text, read a piece at a time into a bounded buffer: a file
/// with a UTF-16 byte order mark becomes UTF-8 as it comes, any other is its
/// bytes without a UTF-8 byte order mark. A final Ctrl+Z is dropped.
class TextStream {
 public:
  /// Starts reading `source`, which must outlive the stream.
  explicit TextStream(ByteSource& source);

  /// The text read and not consumed yet.
  std::string_view Rest() const { return std::string_view(text_).substr(pos_, end_ - pos_); }
  void Consume(std::size_t count) { pos_ += count; }
  /// Reads until Rest() holds more, dropping the text consumed (so Rest()
  /// must be asked again); false when the text has ended.
  bool More();

  /// Where Rest() starts, counted in the text from the start of the file.
  std::uint64_t Offset() const { return dropped_ + pos_; }
  bool Utf16() const { return utf16_.has_value(); }
  /// Nothing more will be read: what Rest() shows is all.
  bool Ended() const { return state_ != State::kReading; }
  /// The text ended short: by a read failure, or inside a UTF-16 code unit.
  bool Cut() const { return state_ == State::kCut; }
  const std::optional<Error>& Failure() const { return failure_; }

 private:
  enum class State { kReading, kEnded, kCut };

  void ReadPiece();
  void TheEnd();
  void HoldBack();

  ByteSource& source_;
  std::string text_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;        // before a Ctrl+Z or a character the next piece decides
  std::uint64_t dropped_ = 0;  // text consumed and dropped before text_
  std::optional<Utf16Decoder> utf16_;
  State state_ = State::kReading;
  std::optional<Error> failure_;
};

}  // namespace tavrik
