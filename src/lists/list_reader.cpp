#include "list_reader.h"

#include <utility>

#include "field_scanner.h"

namespace tavrik {

namespace {

// Where reading stops: where no walk can go on, or before the text kept
// would pass its bound.
class Reach {
 public:
  explicit Reach(const ListLimits& limits) : limits_(limits) {}

  /// Counts the next field; false when it would take the text kept (as
  /// UTF-8) past its bound, and is not kept.
  bool Keep(const RawField& field, bool end_unseen) {
    const bool shortened = field.end_at != RawField::kWhole;
    text_ += field.text.size() + (shortened ? kEllipsis.size() : 0);
    if (text_ > limits_.text) {
      stop_ = ReadingStop::kText;
      return false;
    }
    ++fields_;
    // No walk passes the pair of a field too long for any path, nor a field
    // whose end is not known.
    if (shortened && stop_after_ == 0) stop_after_ = fields_ + fields_ % 2;
    if (end_unseen) stop_after_ = fields_;
    if (fields_ >= limits_.fields) {
      stop_ = ReadingStop::kFieldCount;
    } else if (fields_ == stop_after_) {
      stop_ = ReadingStop::kLongField;
    }
    return true;
  }
  ReadingStop Stop() const { return stop_; }

 private:
  const ListLimits& limits_;
  std::size_t fields_ = 0, text_ = 0;
  std::size_t stop_after_ = 0;  // the field after which reading stops, or 0
  ReadingStop stop_ = ReadingStop::kNone;
};

// A field that the decision on the encoding changes: a field too long, whose
// ends an ellipsis joins, or one whose column counts otherwise in legacy text.
struct Undecided {
  std::size_t field, end_at, column_bytes;
};

// `text`, decoded by `legacy` unless it is null; a field too long has its
// two ends joined by an ellipsis.
void Decide(std::string& text, std::size_t end_at, const LegacyDecoder* legacy) {
  const auto decoded = [legacy](std::string_view bytes) {
    return legacy != nullptr && !bytes.empty() ? (*legacy)(bytes) : std::string(bytes);
  };
  if (end_at == RawField::kWhole && legacy == nullptr) return;
  const std::string_view bytes = text;
  text = end_at == RawField::kWhole ? decoded(bytes)
                                    : decoded(bytes.substr(0, end_at)) + std::string(kEllipsis) +
                                          decoded(bytes.substr(end_at));
  text.shrink_to_fit();  // what a decoder reserved and did not use would stay for good
}

// Decides the fields' text and columns. Legacy text is decoded whole, and
// cut where it would pass the bound on text.
void Decide(ListRead& list, const std::vector<Undecided>& undecided, const LegacyDecoder* legacy,
            std::size_t most) {
  auto next = undecided.begin();
  std::size_t total = 0;
  for (std::size_t i = 0; i < list.fields.size() && (legacy || next != undecided.end()); ++i) {
    const bool listed = next != undecided.end() && next->field == i;
    if (listed && legacy != nullptr) list.positions[i].column = next->column_bytes;
    Decide(list.fields[i], listed ? (next++)->end_at : RawField::kWhole, legacy);
    total += list.fields[i].size();
    if (legacy != nullptr && total > most) {
      list.fields.resize(i);
      list.positions.resize(i);
      list.stop = ReadingStop::kText;
      return;
    }
  }
}

}  // namespace

ListRead ReadListFile(ByteSource& source, const ListLimits& limits, const LegacyDecoder& legacy) {
  FieldScanner scanner(source, limits);
  Reach reach(limits);
  ListRead list;
  std::vector<Undecided> undecided;
  RawField field;
  while (reach.Stop() == ReadingStop::kNone && scanner.Next(field)) {
    if (!reach.Keep(field, scanner.EndUnseen())) break;
    const Place& place = field.place;
    if (field.end_at != RawField::kWhole || place.column_bytes != place.column_utf8) {
      undecided.push_back({list.fields.size(), field.end_at, place.column_bytes});
    }
    list.fields.push_back(std::move(field.text));  // as UTF-8 until decided
    list.positions.push_back({place.line, place.column_utf8});
  }
  list.stop = reach.Stop();
  Decide(list, undecided, scanner.Legacy() ? &legacy : nullptr, limits.text);
  // A failure after the last field a walk can reach comes too late to matter.
  if (list.stop == ReadingStop::kNone) list.failure = scanner.Failure();
  return list;
}

}  // namespace tavrik
