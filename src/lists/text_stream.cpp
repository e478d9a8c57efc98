#include "text_stream.h"

#include <algorithm>
#include <utility>

namespace tavrik {

namespace {

constexpr char kCtrlZ = '\x1A';
constexpr std::size_t kPiece = 1 << 16;

}  // namespace

TextStream::TextStream(ByteSource& source) : source_(source) {
  // The first bytes tell the encoding: a byte order mark.
  while (text_.size() < 3 && !Ended()) ReadPiece();
  const std::string_view mark = std::string_view(text_).substr(0, 2);
  if (mark == "\xFF\xFE" || mark == "\xFE\xFF") {
    utf16_.emplace(mark == "\xFE\xFF");
    const std::string bytes = std::exchange(text_, {});
    utf16_->Append(std::string_view(bytes).substr(2), text_);
  } else if (text_.starts_with("\xEF\xBB\xBF")) {
    pos_ = 3;  // the UTF-8 mark is no part of any path
  }
  if (Ended()) TheEnd();
  HoldBack();
}

bool TextStream::More() {
  text_.erase(0, pos_);
  end_ -= pos_;
  dropped_ += pos_;
  pos_ = 0;
  const std::size_t shown = end_;
  while (end_ == shown) {
    if (Ended()) return false;
    Decode(ReadPiece());
    if (Ended()) TheEnd();
    HoldBack();
  }
  return true;
}

// Appends the file's next bytes to the text; returns how many.
std::size_t TextStream::ReadPiece() {
  const std::size_t size = text_.size();
  text_.resize(size + kPiece);
  std::size_t got = 0;
  try {
    got = std::min(source_.Read(text_.data() + size, kPiece), kPiece);
    if (got == 0) state_ = State::kEnded;
  } catch (const Error& error) {
    // Every byte read before stays; the field the failure cuts is not used.
    failure_ = error;
    state_ = State::kCut;
  }
  text_.resize(size + got);
  return got;
}

// The last `bytes` of the text, in UTF-16, become UTF-8.
void TextStream::Decode(std::size_t bytes) {
  if (!utf16_) return;
  const std::string piece = text_.substr(text_.size() - bytes);
  text_.resize(text_.size() - bytes);
  utf16_->Append(piece, text_);
}

void TextStream::TheEnd() {
  if (utf16_ && !utf16_->Finish(Cut(), text_)) state_ = State::kCut;  // half a unit is left
  // A character that a read failure cuts in two belongs to the field it
  // cuts short, which is not used: it must not make a UTF-8 file read as
  // Windows-1252, nor count as text after blank lines.
  if (Cut() && !utf16_) {
    text_.resize(text_.size() - std::min(UnfinishedUtf8(text_), text_.size() - pos_));
  }
  // Old DOS editors end a text file with Ctrl+Z; it is no part of any path.
  if (!Cut() && text_.size() > pos_ && text_.back() == kCtrlZ) text_.pop_back();
}

void TextStream::HoldBack() {
  end_ = text_.size();
  if (Ended() || end_ == pos_) return;
  if (text_.back() == kCtrlZ) {
    --end_;  // it may be the last byte
  } else if (!utf16_) {
    end_ -= std::min(UnfinishedUtf8(text_), end_ - pos_);
  }
}

}  // namespace tavrik
