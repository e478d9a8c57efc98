#include "shown_text.h"

#include <cstdio>

#include "text_encoding.h"
#include "utf8_verdict.h"

namespace tavrik {

namespace {

bool Hidden(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The length of the UTF-8 sequence that `lead` starts, or 0 for a byte that
// starts none.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

char32_t CodePoint(std::string_view sequence) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(sequence[i]); };
  switch (sequence.size()) {
    case 1:
      return byte(0);
    case 2:
      return (byte(0) & 0x1Fu) << 6 | (byte(1) & 0x3Fu);
    case 3:
      return (byte(0) & 0x0Fu) << 12 | (byte(1) & 0x3Fu) << 6 | (byte(2) & 0x3Fu);
    default:
      return (byte(0) & 0x07u) << 18 | (byte(1) & 0x3Fu) << 12 | (byte(2) & 0x3Fu) << 6 |
             (byte(3) & 0x3Fu);
  }
}

}  // namespace

std::string ShownText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  char code[16];
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = SequenceLength(static_cast<unsigned char>(text[at]));
    const std::string_view sequence = text.substr(at, length == 0 ? 1 : length);
    if (length == 0 || sequence.size() < length || !IsValidUtf8(sequence)) {
      std::snprintf(code, sizeof code, "<0x%02X>", static_cast<unsigned char>(text[at]));
      shown += code;
      ++at;
      continue;
    }
    const char32_t c = CodePoint(sequence);
    if (Hidden(c)) {
      std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(c));
      shown += code;
    } else {
      shown += sequence;
    }
    at += length;
  }
  return shown;
}

std::string Named(std::string_view path) {
  constexpr std::size_t kWhole = 200, kKept = 96;
  std::string shown = "'";
  if (path.size() <= kWhole) return shown.append(path) += '\'';
  std::size_t head = kKept, tail = path.size() - kKept;
  while (head > 0 && IsUtf8Continuation(path[head])) --head;
  while (tail < path.size() && IsUtf8Continuation(path[tail])) ++tail;
  return shown.append(path.substr(0, head)).append(kEllipsis).append(path.substr(tail)) += '\'';
}

std::string Thousands(std::size_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

std::string Counted(std::size_t count, std::string_view noun) {
  std::string text = Thousands(count) + " " + std::string(noun);
  if (count == 1) return text;
  if (noun.back() == 'y') return text.substr(0, text.size() - 1) + "ies";
  return text + "s";
}

std::string PairsText(const std::vector<std::size_t>& pairs) {
  constexpr std::size_t kNamed = 5;  // runs named; the other pairs counted
  std::vector<std::string> runs;
  std::size_t named = 0, at = 0;
  for (; at < pairs.size() && runs.size() < kNamed; ++at) {
    std::size_t end = at;
    while (end + 1 < pairs.size() && pairs[end + 1] == pairs[end] + 1) ++end;
    const bool run = end > at + 1;
    runs.push_back(std::to_string(pairs[at]));
    if (run) runs.back().append("-").append(std::to_string(pairs[end]));
    named += run ? end - at + 1 : 1;
    if (run) at = end;
  }
  if (named < pairs.size()) runs.push_back(Thousands(pairs.size() - named) + " more");
  std::string text = named == 1 && runs.size() == 1 ? "pair " : "pairs ";
  for (std::size_t i = 0; i < runs.size(); ++i) {
    text.append(i == 0 ? "" : i + 1 == runs.size() ? " and " : ", ").append(runs[i]);
  }
  return text;
}

std::string LastName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string FromHere(const std::string& where, const std::string& here) {
  const bool inside = where.size() > here.size() + 1 && where.compare(0, here.size(), here) == 0 &&
                      (where[here.size()] == '/' || where[here.size()] == '\\');
  return inside ? where.substr(here.size() + 1) : where;
}

}  // namespace tavrik
