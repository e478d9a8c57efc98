#include "list_reader.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace tavrik {

namespace {

constexpr char kCtrlZ = '\x1A';

bool IsSpace(char c) { return c == ' ' || c == '\t'; }
bool IsBlank(char c) { return IsSpace(c) || c == '\r' || c == '\n'; }
bool IsDelimiter(char c) { return c == ',' || c == '\r' || c == '\n'; }

Error SystemError(int number, std::string_view what, std::string_view path) {
  const std::string reason =
      number != 0 ? std::generic_category().message(number) : std::string("unknown error");
  return Error(number, std::string(what) + " " + Quoted(path) + ": " + reason);
}

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

}  // namespace

ListReader::ListReader(LegacyDecoder legacy) : legacy_(std::move(legacy)) {}

void ListReader::Open(const std::string& path) {
  Close();
  const std::filesystem::path file(
      std::u8string_view(reinterpret_cast<const char8_t*>(path.data()), path.size()));
  // Only a regular file is a list: opening a pipe waits for a writer that may
  // never come, and a device such as /dev/zero never ends.
  std::error_code ignored;
  const auto type = std::filesystem::status(file, ignored).type();
  if (type == std::filesystem::file_type::directory) throw SystemError(EISDIR, "Cannot open", path);
  if (type != std::filesystem::file_type::regular &&
      type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none) {
    throw Error(EINVAL, "Cannot open " + Quoted(path) + ": not a regular file");
  }
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in) throw SystemError(errno, "Cannot open", path);
  std::error_code no_size;
  const std::uintmax_t size = std::filesystem::file_size(file, no_size);
  Read(in, path, no_size ? 0 : size);
}

void ListReader::Open(std::istream& in, std::string_view name) { Read(in, name, 0); }

void ListReader::Read(std::istream& in, std::string_view name, std::uintmax_t expected_size) {
  Close();
  constexpr std::size_t kChunk = 1 << 16;
  std::string bytes;
  // Room for the whole file and the read that finds its end: one read, no
  // copy. The size is a hint; a file that grows meanwhile is read whole.
  if (expected_size > 0) bytes.reserve(static_cast<std::size_t>(expected_size) + 1);
  while (true) {
    const std::size_t used = bytes.size();
    const std::size_t room = bytes.capacity() > used ? bytes.capacity() - used : kChunk;
    bytes.resize(used + room);
    errno = 0;
    in.read(bytes.data() + used, static_cast<std::streamsize>(room));
    bytes.resize(used + static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
      read_failure_ = SystemError(errno, "Cannot read", name);
      break;
    }
    if (!in) break;  // end of file
  }
  Take(std::move(bytes));
}

void ListReader::Take(std::string bytes) {
  // Old DOS editors end a text file with Ctrl+Z; it is no part of any path.
  if (!read_failure_ && !bytes.empty() && bytes.back() == kCtrlZ) bytes.pop_back();
  if (read_failure_) bytes.resize(WithoutCutCharacter(bytes).size());
  // UTF-8 without a byte order mark is the program's text already: keep the
  // buffer rather than copy it.
  const bool has_bom = std::string_view(bytes).substr(0, 3) == "\xEF\xBB\xBF";
  text_ = !has_bom && IsValidUtf8(bytes) ? std::move(bytes) : DecodeListText(bytes, legacy_);
  position_ = 0;
  content_end_ = text_.size();
  // Blank lines at the end of the file yield no fields, so an editor's final
  // line end cannot add an empty entry that pairs with the last path.
  while (content_end_ > 0 && IsBlank(text_[content_end_ - 1])) --content_end_;
}

std::string ListReader::ReadField() {
  while (position_ < content_end_ && IsSpace(text_[position_])) ++position_;
  if (position_ >= content_end_) RaiseAtEnd();

  const std::string_view text(text_);
  if (text[position_] == '"') {
    const std::size_t start = position_ + 1;
    const std::size_t close = text.find('"', start);
    if (close == std::string_view::npos) {
      // The file ends inside the quotes: the field is what was read.
      if (read_failure_) RaiseAtEnd();
      position_ = text.size();
      return std::string(text.substr(start));
    }
    // Anything between the closing quote and the delimiter is dropped.
    SkipDelimiterAt(FindDelimiter(text, close + 1));
    return std::string(text.substr(start, close - start));
  }

  const std::size_t start = position_;
  const std::size_t end = FindDelimiter(text, start);
  if (end == text.size() && read_failure_) RaiseAtEnd();  // the field may be cut short
  std::size_t last = end;
  while (last > start && IsSpace(text[last - 1])) --last;
  SkipDelimiterAt(end);
  return std::string(text.substr(start, last - start));
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
  position_ = 0;
  content_end_ = 0;
  read_failure_.reset();
}

}  // namespace tavrik
