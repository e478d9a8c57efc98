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
    ReadPiece();
    if (Ended()) TheEnd();
    HoldBack();
  }
  return true;
}

// Appends the file's next bytes to the text (UTF-16 as UTF-8).
void TextStream::ReadPiece() {
  char piece[kPiece];  // not in the text: a short read must not cost a whole piece
  std::size_t got = 0;
  try {
    got = std::min(source_.Read(piece, kPiece), kPiece);
    if (got == 0) state_ = State::kEnded;
  } catch (const Error& error) {
    // Every byte read before stays; the field the failure cuts is not used.
    failure_ = error;
    state_ = State::kCut;
  }
  if (utf16_) {
    utf16_->Append(std::string_view(piece, got), text_);
  } else {
    text_.append(piece, got);
  }
}

void TextStream::TheEnd() {
  if (utf16_ && !utf16_->Finish(Cut(), text_)) state_ = State::kCut;  // half a unit is left
  // A character that a read failure cuts in two is part of the field it cuts
  // short, which is not used: it must not make a UTF-8 file legacy text, nor
  // count as text after blank lines.
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
