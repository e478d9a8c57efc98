#include "text_stream.h"

#include <algorithm>
#include <utility>

namespace tavrik {

namespace {

constexpr char kCtrlZ = '\x1A';
constexpr std::size_t kPiece = 1 << 16;

}  // namespace

void TextStream::Open(ByteSource& source) {
  Close();
  source_ = &source;
  piece_ = std::make_unique<char[]>(kPiece);
  // The first bytes tell the encoding: a byte order mark.
  while (text_.size() < 3 && !ended_) text_.append(piece_.get(), ReadPiece());
  const std::string_view mark = std::string_view(text_).substr(0, 2);
  if (mark == "\xFF\xFE" || mark == "\xFE\xFF") {
    utf16_.emplace(mark == "\xFE\xFF");
    const std::string bytes = std::exchange(text_, {});
    utf16_->Append(std::string_view(bytes).substr(2), text_);
  } else if (std::string_view(text_).substr(0, 3) == "\xEF\xBB\xBF") {
    pos_ = 3;  // the UTF-8 mark is no part of any path
    offset_ = 3;
  }
  if (ended_) TheEnd();
  HoldBack();
  data_ = text_.data();
}

void TextStream::Close() noexcept {
  source_ = nullptr;
  piece_.reset();
  text_.clear();
  text_.shrink_to_fit();
  data_ = text_.data();
  pos_ = end_ = 0;
  offset_ = 0;
  utf16_.reset();
  ended_ = cut_ = false;
  failure_.reset();
}

bool TextStream::More() {
  text_.erase(0, pos_);
  end_ -= pos_;
  pos_ = 0;
  const std::size_t shown = end_;
  while (end_ == shown) {
    if (ended_) return false;
    Take(std::string_view(piece_.get(), ReadPiece()));
    if (ended_) TheEnd();
    HoldBack();
  }
  data_ = text_.data();
  return true;
}

std::size_t TextStream::ReadPiece() {
  try {
    const std::size_t got = std::min(source_->Read(piece_.get(), kPiece), kPiece);
    if (got == 0) ended_ = true;
    return got;
  } catch (const Error& error) {
    // Every byte read before stays; the field the failure cuts is not used.
    failure_ = error;
    cut_ = true;
    ended_ = true;
    return 0;
  }
}

void TextStream::Take(std::string_view bytes) {
  if (utf16_) {
    utf16_->Append(bytes, text_);
  } else {
    text_.append(bytes);
  }
}

void TextStream::TheEnd() {
  if (utf16_ && !utf16_->Finish(cut_, text_)) cut_ = true;  // half a code unit is left
  // A character that a read failure cuts in two belongs to the field it
  // cuts short, which is not used: it must not make a UTF-8 file read as
  // Windows-1252, nor count as text after blank lines.
  if (cut_ && !utf16_) {
    text_.resize(text_.size() - std::min(UnfinishedUtf8(text_), text_.size() - pos_));
  }
  // Old DOS editors end a text file with Ctrl+Z; it is no part of any path.
  if (!cut_ && text_.size() > pos_ && text_.back() == kCtrlZ) text_.pop_back();
}

void TextStream::HoldBack() {
  end_ = text_.size();
  if (ended_ || end_ == pos_) return;
  if (text_.back() == kCtrlZ) {
    --end_;  // it may be the last byte
  } else if (!utf16_) {
    end_ -= std::min(UnfinishedUtf8(text_), end_ - pos_);
  }
}

}  // namespace tavrik
