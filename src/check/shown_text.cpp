#include "shown_text.h"

#include <cstdio>

#include "list_path.h"
#include "text_encoding.h"
#include "utf8_verdict.h"

namespace tavrik {

std::string ShownText(std::string_view text) {
  // C0, DEL, C1 and Unicode's Bidi_Control characters.
  const auto hidden = [](char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
  };
  std::string shown;
  shown.reserve(text.size());
  char code[16];
  for (std::size_t at = 0, length = 1; at < text.size(); at += length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string_view sequence = text.substr(at, length);
    char32_t c = lead & (length == 1 ? 0x7F : 0x7F >> length);
    for (std::size_t i = 1; i < sequence.size(); ++i) c = c << 6 | (sequence[i] & 0x3F);
    // ASCII always is; a longer sequence may be cut short, overlong or a surrogate.
    const bool valid = length == 1 || IsValidUtf8(sequence);
    if (valid && !hidden(c)) {
      shown += sequence;
      continue;
    }
    std::snprintf(code, sizeof code, valid ? "<U+%04X>" : "<0x%02X>",
                  valid ? static_cast<unsigned>(c) : lead);
    shown += code;
    if (!valid) length = 1;
  }
  return shown;
}

std::string Named(std::string_view path, char quote) {
  constexpr std::size_t kWhole = 200, kKept = 96;
  std::string shown(1, quote);
  if (path.size() <= kWhole) return shown.append(path) += quote;
  std::size_t head = kKept, tail = path.size() - kKept;
  while (head > 0 && IsUtf8Continuation(path[head])) --head;
  while (tail < path.size() && IsUtf8Continuation(path[tail])) ++tail;
  return shown.append(path.substr(0, head)).append(kEllipsis).append(path.substr(tail)) += quote;
}

std::string Thousands(std::size_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

std::string Counted(std::size_t count, std::string_view noun) {
  const std::string text = Thousands(count) + " " + std::string(noun);
  if (count == 1) return text;
  return noun.back() == 'y' ? text.substr(0, text.size() - 1) + "ies" : text + "s";
}

std::string PairsText(const std::vector<std::size_t>& pairs) {
  constexpr std::size_t kNamed = 5;  // runs named; the other pairs counted
  std::vector<std::string> runs;
  std::size_t named = 0;  // the pairs before `named` are in `runs`
  while (named < pairs.size() && runs.size() < kNamed) {
    std::size_t end = named;
    while (end + 1 < pairs.size() && pairs[end + 1] == pairs[end] + 1) ++end;
    if (end < named + 2) end = named;              // two in a row are named each
    runs.push_back(std::to_string(pairs[named]));  // appended: GCC 12 misreads "-" + string
    if (end > named) runs.back().append("-").append(std::to_string(pairs[end]));
    named = end + 1;
  }
  if (named < pairs.size()) runs.push_back(Thousands(pairs.size() - named) + " more");
  std::string text = pairs.size() == 1 ? "pair " : "pairs ";
  for (std::size_t i = 0; i < runs.size(); ++i) {
    text.append(i == 0 ? "" : i + 1 == runs.size() ? " and " : ", ").append(runs[i]);
  }
  return text;
}

std::pair<std::string_view, std::string_view> FolderAndName(std::string_view path) {
  const std::size_t start = LastNameStart(path);
  return {path.substr(0, start - (start > 0)), path.substr(start)};
}

std::string LastName(const std::string& path) { return std::string(FolderAndName(path).second); }

std::string FolderOf(const std::string& path) { return std::string(FolderAndName(path).first); }

std::string FromHere(const std::string& where, const std::string& here) {
  const bool inside = where.size() > here.size() + 1 && where.compare(0, here.size(), here) == 0 &&
                      (where[here.size()] == '/' || where[here.size()] == '\\');
  return inside ? where.substr(here.size() + 1) : where;
}

}  // namespace tavrik
