#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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
  /// Starts reading `source`, which must stay open until Close.
  void Open(ByteSource& source);
  void Close() noexcept;

  /// The text read and not consumed yet.
  std::string_view Rest() const { return std::string_view(data_ + pos_, end_ - pos_); }
  void Consume(std::size_t count) {
    pos_ += count;
    offset_ += count;
  }
  /// Reads until more text is there than Rest() showed. Drops the text
  /// consumed before; Rest() and Window() must be asked again. False when
  /// the text has ended.
  bool More();

  /// Where Rest() starts, counted in the text from the start of the file.
  std::uint64_t Offset() const { return offset_; }
  /// The text between two offsets, consumed or not, from none before the
  /// last More to none past the end of Rest().
  std::string_view Window(std::uint64_t from, std::uint64_t to) const {
    return std::string_view(data_ + static_cast<std::size_t>(pos_ + from - offset_),
                            static_cast<std::size_t>(to - from));
  }

  bool Utf16() const { return utf16_.has_value(); }
  /// Nothing more will be read: what Rest() shows is all.
  bool Ended() const { return ended_; }
  /// The text ended short of the file's end: by a read failure (Failure),
  /// or inside a UTF-16 code unit.
  bool Cut() const { return cut_; }
  const std::optional<Error>& Failure() const { return failure_; }

 private:
  std::size_t ReadPiece();
  void Take(std::string_view bytes);
  void TheEnd();
  void HoldBack();

  ByteSource* source_ = nullptr;
  std::unique_ptr<char[]> piece_;
  std::string text_;
  const char* data_ = nullptr;  // text_.data(), kept at hand for the views
  std::size_t pos_ = 0;
  // Before what the next piece decides: a Ctrl+Z that may be the file's last
  // byte, or a character that it may finish.
  std::size_t end_ = 0;
  std::uint64_t offset_ = 0;
  std::optional<Utf16Decoder> utf16_;
  bool ended_ = false;
  bool cut_ = false;
  std::optional<Error> failure_;
};

}  // namespace tavrik
