// Why most of a list's pairs name no file: its text first (a UTF-16 list read
// as 8-bit text, tabs for commas, paths from a drive's root), which no disk
// makes right; then, at a few of its pairs, the disk (the names in another
// Unicode form, a folder on the way that may not be read).

#include "unmeant_lists.h"

#include <algorithm>
#include <iterator>
#include <span>
#include <vector>

#include "list_path.h"
#include "presses.h"
#include "shown_text.h"

namespace tavrik {

namespace {

// U+00C0 to U+017F, two characters each: the letter and the sign of its
// combining mark (kMarks), or two spaces where the character is not a Latin
// letter and one mark. Written out by hand from the Unicode decompositions:
// glibc has no normaliser, and ICU is many times the tool for these.
constexpr std::string_view kLatin =
    "A`A'A^A~A:Ao  C,E`E'E^E:I`I'I^I:  N~O`O'O^O~O:    U`U'U^U:Y'    "
    "a`a'a^a~a:ao  c,e`e'e^e:i`i'i^i:  n~o`o'o^o~o:    u`u'u^u:y'  y:"
    "A-a-AuauA;a;C'c'C^c^C.c.CvcvDvdv    E-e-EueuE.e.E;e;EvevG^g^Gugu"
    "G.g.G,g,H^h^    I~i~I-i-IuiuI;i;I.      J^j^K,k,  L'l'L,l,Lvlv  "
    "      N'n'N,n,Nvnv      O-o-OuouO\"o\"    R'r'R,r,RvrvS's'S^s^S,s,"
    "SvsvT,t,Tvtv    U~u~U-u-UuuuUouoU\"u\"U;u;W^w^Y^y^Y:Z'z'Z.z.Zvzv  ";
constexpr char32_t kFirstLatin = 0xC0;

struct Mark {
  char sign;
  char32_t code;
};
constexpr Mark kMarks[] = {{'`', 0x300}, {'\'', 0x301}, {'^', 0x302}, {'~', 0x303}, {'-', 0x304},
                           {'u', 0x306}, {'.', 0x307},  {':', 0x308}, {'o', 0x30A}, {'"', 0x30B},
                           {'v', 0x30C}, {',', 0x327},  {';', 0x328}};

// The character of two UTF-8 bytes at `at`, or 0: every letter and mark above is one.
char32_t TwoBytes(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size()) return 0;
  const auto lead = static_cast<unsigned char>(text[at]);
  const auto next = static_cast<unsigned char>(text[at + 1]);
  if (lead < 0xC2 || lead > 0xDF || (next & 0xC0) != 0x80) return 0;
  return static_cast<char32_t>((lead & 0x1F) << 6 | (next & 0x3F));
}

void AppendTwoBytes(std::string& text, char32_t code) {
  text += static_cast<char>(0xC0 | code >> 6);
  text += static_cast<char>(0x80 | (code & 0x3F));
}

// How many of `pairs` (from 0) have an entry that `has`, and the first such entry (from 1).
template <typename Has>
std::pair<std::size_t, std::size_t> Spoilt(const CheckedList& list,
                                           const std::vector<std::size_t>& pairs, const Has& has) {
  std::size_t count = 0, first = 0;
  for (const std::size_t pair : pairs) {
    const bool source = has(list.First(pair)), target = has(list.Second(pair));
    if (first == 0 && (source || target)) first = 2 * pair + (source ? 1 : 2);
    count += source || target ? 1 : 0;
  }
  return {count, first};
}

bool FromRoot(const std::string& path) {
  return IsDriveOrShare(path) || (!path.empty() && IsSeparator(path[0]));
}

// The folder of the mod's folder that `path` goes through, or "." for its own files.
std::string TopFolder(const std::string& path) {
  const ListPath names = ParseListPath(path);
  return names.from_root || names.names.size() < 2 ? "." : std::string(names.names[0]);
}

// At most this many of the pairs naming nothing are looked for on disk, at
// two lookups or more each: a cause of most of them shows in the first.
constexpr std::size_t kPairsLookedAt = 16;

}  // namespace

std::string Decomposed(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char32_t code = TwoBytes(text, at);
    const std::size_t index = code >= kFirstLatin ? 2 * (code - kFirstLatin) : kLatin.size();
    if (index >= kLatin.size() || kLatin[index] == ' ') {
      out += text[at];
      continue;
    }
    out += kLatin[index];
    AppendTwoBytes(out, std::ranges::find(kMarks, kLatin[index + 1], &Mark::sign)->code);
    ++at;
  }
  return out;
}

std::string Composed(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto mark = std::ranges::find(kMarks, TwoBytes(text, at + 1), &Mark::code);
    std::size_t index = 0;
    while (mark != std::end(kMarks) && index < kLatin.size() &&
           (kLatin[index] != text[at] || kLatin[index + 1] != mark->sign)) {
      index += 2;
    }
    if (mark == std::end(kMarks) || index >= kLatin.size()) {
      out += text[at];
      continue;
    }
    AppendTwoBytes(out, kFirstLatin + static_cast<char32_t>(index / 2));
    at += 2;
  }
  return out;
}

Unmeant UnmeantList(DryRun& run, const CheckedList& list, const std::string& here) {
  Unmeant unmeant;
  if (!list.readable || list.Refused()) return unmeant;
  const auto found = [&](const std::string& path) {
    return OrElse([&] { return !run.FindFile(path).empty(); }, false);
  };
  std::vector<std::size_t> nothing;  // the pairs (from 0) neither of whose paths names a file
  for (std::size_t pair = 0; pair < list.Pairs(); ++pair) {
    if (!found(list.First(pair)) && !found(list.Second(pair))) nothing.push_back(pair);
  }
  if (2 * nothing.size() <= list.Pairs()) return unmeant;
  const std::string name = list.name;
  const auto told = [&](const char* reason, std::size_t entry, std::string text, std::string fix,
                        bool folder = false) {
    return Unmeant{name,   entry,           list.Pairs(),   nothing.size(),
                   reason, std::move(text), std::move(fix), folder};
  };
  // A UTF-16 list without its mark reads as 8-bit text, a NUL beside every
  // character of its paths: no path holds a NUL otherwise.
  std::size_t bytes = 0, nuls = 0;
  for (std::size_t entry = 1; entry <= list.Size(); ++entry) {
    bytes += list.Entry(entry).size();
    nuls += std::ranges::count(list.Entry(entry), '\0');
  }
  if (nuls > 0 && 4 * nuls >= bytes) {
    const std::size_t first = Spoilt(list, nothing, [](const std::string& path) {
                                return path.find('\0') != std::string::npos;
                              }).second;
    return told("utf-16", first > 0 ? first : 1,
                "the list is UTF-16 without its byte order mark, so the tool reads it as 8-bit "
                "text, with a NUL beside every character of its paths",
                "save " + name + " as UTF-8, or as UTF-16 with a byte order mark");
  }
  const auto most = [&](std::size_t count) { return 2 * count > nothing.size(); };
  if (const auto [count, first] =
          Spoilt(list, nothing,
                 [](const std::string& path) { return path.find('\t') != std::string::npos; });
      most(count)) {
    return told("tabs", first,
                "its paths are separated by tabs, as a spreadsheet exports them, and the tool "
                "separates them only by commas and line ends, so " +
                    Named(list.Entry(first)) + " is one path",
                "put a comma in place of each tab in " + name);
  }
  if (const auto [count, first] = Spoilt(list, nothing, FromRoot); most(count)) {
    const std::string& path = list.Entry(first);
    // From the mod's folder, the longest end of the path that names a file here.
    std::string relative;
    for (std::size_t at = path.find_first_of("\\/"); relative.empty() && at != std::string::npos;
         at = path.find_first_of("\\/", at + 1)) {
      if (at + 1 < path.size() && found(path.substr(at + 1))) relative = path.substr(at + 1);
    }
    return told("from-root", first,
                std::string("its paths start ") +
                    (IsDriveOrShare(path) ? "with a drive letter or a network share"
                                          : "with a separator, at the root of the drive") +
                    ", as " + Named(path) + ", but paths in a list are from the mod's folder",
                "write the paths in " + name + " from the mod's folder" +
                    (relative.empty() ? "" : ", as " + Named(relative)));
  }
  for (const std::size_t pair :
       std::span(nothing).first(std::min(nothing.size(), kPairsLookedAt))) {
    for (const std::size_t entry : {2 * pair + 1, 2 * pair + 2}) {
      const std::string& path = list.Entry(entry);
      const std::string decomposed = Decomposed(path), composed = Composed(path);
      const bool nfd = decomposed != path && found(decomposed);
      if (nfd || (composed != path && found(composed))) {
        return told("unicode-form", entry,
                    std::string("names on disk are in another Unicode form than the list's, ") +
                        (nfd ? "decomposed (NFD: an accented letter as a letter and a combining "
                               "mark, as an archive made on a Mac holds them) where the list's "
                               "are composed (NFC)"
                             : "composed (NFC) where the list's are decomposed (NFD: an accented "
                               "letter as a letter and a combining mark)") +
                        ", so " + Named(path) + " names no file, though it looks alike",
                    std::string("rename the files into the list's form (on Linux, convmv -r -f "
                                "utf8 -t utf8 ") +
                        (nfd ? "--nfc" : "--nfd") + " --notest " + Named(TopFolder(path)) +
                        "), or write " + name + " in theirs");
      }
      // Where the walk reaches, as the disk spells it; else as the list does.
      std::string where = OrElse([&] { return run.Facts(path).where; }, std::string());
      if (where.empty()) {
        where = here;
        for (const std::string_view folder : ParseListPath(path).names) {
          where.append("/").append(folder);
        }
      }
      if (const auto [why, fix] = UnreadableCause(where, here); !why.empty()) {
        return told("unreadable-folder", entry,
                    why + ", so the pairs' files in it cannot be looked for", fix, true);
      }
    }
  }
  return unmeant;
}

}  // namespace tavrik
