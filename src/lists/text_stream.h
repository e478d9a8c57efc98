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

/// A list file's text, read a piece at a time into a buffer of bounded
/// size. A file that starts with a UTF-16 byte order mark becomes UTF-8 as
/// it comes; any other is passed on as its bytes, without a UTF-8 byte order
/// mark. A Ctrl+Z that is the last character of the file is dropped.
class TextStream {
 public:
  /// Starts reading `source`, which must outlive the stream: its first
  /// bytes tell the encoding.
  explicit TextStream(ByteSource& source);

  /// The text read and not consumed yet.
  std::string_view Rest() const { return std::string_view(text_).substr(pos_, end_ - pos_); }
  void Consume(std::size_t count) { pos_ += count; }
  /// Reads until more text is there than Rest() showed. Drops the text
  /// consumed before, so Rest() must be asked again. False when the text has
  /// ended.
  bool More();

  /// Where Rest() starts, counted in the text from the start of the file.
  std::uint64_t Offset() const { return dropped_ + pos_; }
  bool Utf16() const { return utf16_.has_value(); }
  /// Nothing more will be read: what Rest() shows is all.
  bool Ended() const { return state_ != State::kReading; }
  /// The text ended short of the file's end: by a read failure (Failure),
  /// or inside a UTF-16 code unit.
  bool Cut() const { return state_ == State::kCut; }
  const std::optional<Error>& Failure() const { return failure_; }

 private:
  enum class State { kReading, kEnded, kCut };

  std::size_t ReadPiece();
  void Decode(std::size_t bytes);
  void TheEnd();
  void HoldBack();

  ByteSource& source_;
  std::string text_;
  std::size_t pos_ = 0;
  // Before what the next piece decides: a Ctrl+Z that may be the file's last
  // byte, or a character that it may finish.
  std::size_t end_ = 0;
  std::uint64_t dropped_ = 0;  // text consumed and dropped before text_
  std::optional<Utf16Decoder> utf16_;
  State state_ = State::kReading;
  std::optional<Error> failure_;
};

}  // namespace tavrik
