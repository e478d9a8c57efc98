#include "list_reader.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

namespace tavrik {

namespace {

constexpr char kCtrlZ = '\x1A';
constexpr std::size_t kChunk = 1 << 16;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }
bool IsBlank(char c) { return IsSpace(c) || c == '\r' || c == '\n'; }
bool IsDelimiter(char c) { return c == ',' || c == '\r' || c == '\n'; }

// A read failure can cut a multi-byte UTF-8 character in two. The piece left
// belongs to the field the failure cut short, which is dropped anyway, and
// must not make a UTF-8 file read as Windows-1252.
std::string_view WithoutCutCharacter(std::string_view bytes) {
  for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    if (length > back) bytes.remove_suffix(back);
    break;
  }
  return bytes;
}

// The high bit of each byte of `word` that may equal `byte`. Exact up to
// and including the first byte that does (the classic zero-byte test).
std::uint64_t ByteMatches(std::uint64_t word, unsigned char byte) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  const std::uint64_t cleared = word ^ (kOnes * byte);
  return (cleared - kOnes) & ~cleared & 0x8080808080808080ULL;
}

std::size_t FindDelimiter(std::string_view text, std::size_t from) {
  // Paths are long and delimiters rare: look at eight bytes at a time. On a
  // little-endian machine the lowest match is the first delimiter.
  while (std::endian::native == std::endian::little && text.size() - from >= 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + from, 8);
    const std::uint64_t matches =
        ByteMatches(word, ',') | ByteMatches(word, '\r') | ByteMatches(word, '\n');
    if (matches != 0) return from + static_cast<std::size_t>(std::countr_zero(matches)) / 8;
    from += 8;
  }
  while (from < text.size() && !IsDelimiter(text[from])) ++from;
  return from;
}

// Collects a list file's bytes as they are read. UTF-16, known by its byte
// order mark, becomes UTF-8 piece by piece, so that only the converted text
// is held; any other file is kept as it is.
class Collector {
 public:
  explicit Collector(std::uint64_t size_hint) : size_hint_(size_hint) {
    // Room for the whole file: no copy as it grows. A hint only.
    Reserve(size_hint_);
  }

  void Add(std::string_view bytes) {
    if (utf16_) {
      utf16_->Append(bytes, text);
      return;
    }
    text.append(bytes);
    if (!decided_ && text.size() >= 2) Decide();
  }

  // The end of the file, `cut` short by a read failure or not. False when
  // the text ends inside a character.
  bool Finish(bool cut) { return utf16_ ? utf16_->Finish(cut, text) : true; }

  bool Utf16() const { return utf16_.has_value(); }

  std::string text;

 private:
  void Decide() {
    decided_ = true;
    const std::string_view mark(text.data(), 2);
    if (mark != "\xFF\xFE" && mark != "\xFE\xFF") return;
    utf16_.emplace(mark == "\xFE\xFF");
    const std::string bytes = std::exchange(text, {});
    Reserve(size_hint_ / 2);  // most lists are ASCII: half as many bytes in UTF-8
    utf16_->Append(std::string_view(bytes).substr(2), text);
  }

  // A size beyond what a string can hold is no hint at all.
  void Reserve(std::uint64_t size) {
    if (size <= text.max_size()) text.reserve(static_cast<std::size_t>(size));
  }

  std::uint64_t size_hint_;
  bool decided_ = false;
  std::optional<Utf16Decoder> utf16_;
};

}  // namespace

ListReader::ListReader(LegacyDecoder legacy) : legacy_(std::move(legacy)) {}

void ListReader::Open(ByteSource& source) {
  Close();
  Collector collector(source.SizeHint());
  const auto chunk = std::make_unique<char[]>(kChunk);
  try {
    // Every call's bytes are kept, so a failure loses only what follows it.
    while (const std::size_t got = source.Read(chunk.get(), kChunk)) {
      collector.Add(std::string_view(chunk.get(), std::min(got, kChunk)));
    }
  } catch (const Error& error) {
    read_failure_ = error;
  }
  const bool whole = collector.Finish(read_failure_.has_value());
  cut_ = read_failure_.has_value() || !whole;
  Take(std::move(collector.text), collector.Utf16());
}

void ListReader::Take(std::string text, bool utf16) {
  text_ = std::move(text);
  // Old DOS editors end a text file with Ctrl+Z; it is no part of any path.
  if (!cut_ && !text_.empty() && text_.back() == kCtrlZ) text_.pop_back();
  if (cut_) text_.resize(WithoutCutCharacter(text_).size());
  position_ = 0;
  if (!utf16) {
    legacy_text_ = !IsValidUtf8(text_);
    if (!legacy_text_ && std::string_view(text_).substr(0, 3) == "\xEF\xBB\xBF") position_ = 3;
  }
  content_end_ = text_.size();
  // Blank lines at the end of the file yield no fields, so an editor's final
  // line end cannot add an empty entry that pairs with the last path.
  while (content_end_ > position_ && IsBlank(text_[content_end_ - 1])) --content_end_;
}

std::string ListReader::ReadField() {
  const Span field = NextField();
  const std::string_view piece = std::string_view(text_).substr(field.start, field.length);
  if (!legacy_text_) return std::string(piece);
  return legacy_ ? legacy_(piece) : DecodeWindows1252(piece);
}

void ListReader::SkipField() { NextField(); }

ListReader::Span ListReader::NextField() {
  while (position_ < content_end_ && IsSpace(text_[position_])) ++position_;
  if (position_ >= content_end_) RaiseAtEnd();

  const std::string_view text(text_);
  if (text[position_] == '"') {
    const std::size_t start = position_ + 1;
    const std::size_t close = text.find('"', start);
    if (close == std::string_view::npos) {
      // The file ends inside the quotes: the field is what was read.
      if (cut_) RaiseAtEnd();
      position_ = text.size();
      return {start, text.size() - start};
    }
    // Anything between the closing quote and the delimiter is dropped.
    SkipDelimiterAt(FindDelimiter(text, close + 1));
    return {start, close - start};
  }

  const std::size_t start = position_;
  const std::size_t end = FindDelimiter(text, start);
  if (end == text.size() && cut_) RaiseAtEnd();  // the field may be cut short
  std::size_t last = end;
  while (last > start && IsSpace(text[last - 1])) --last;
  SkipDelimiterAt(end);
  return {start, last - start};
}

void ListReader::SkipDelimiterAt(std::size_t position) {
  if (position < text_.size() && text_[position] == '\r' && position + 1 < text_.size() &&
      text_[position + 1] == '\n') {
    ++position;  // CR LF is one line end
  }
  position_ = position < text_.size() ? position + 1 : text_.size();
}

void ListReader::RaiseAtEnd() {
  position_ = text_.size();
  if (read_failure_) throw *read_failure_;
  throw EndOfList();
}

void ListReader::Close() noexcept {
  text_.clear();
  text_.shrink_to_fit();
  legacy_text_ = false;
  position_ = 0;
  content_end_ = 0;
  cut_ = false;
  read_failure_.reset();
}

}  // namespace tavrik
