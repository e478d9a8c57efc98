#include "launcher.h"

#include <memory>

#include "list_reader.h"

namespace tavrik {

void LoadEntryList(Platform& platform, const std::string& file_name, EntryList& list,
                   std::vector<FieldPosition>* positions) {
  ListRead read;
  try {
    // Closed before the next list is opened.
    const std::unique_ptr<ByteSource> file = platform.OpenListFile(file_name);
    read = ReadListFile(
        *file, ListLimits{.fields = EntryList::kMaxEntries},
        [&platform](std::string_view bytes) { return platform.DecodeLegacyText(bytes); });
    // A read failure ends the load as the end of the file does: what was
    // read is kept.
    list.append(std::move(read.fields));
    if (positions != nullptr) {
      positions->insert(positions->end(), read.positions.begin(), read.positions.end());
    }
  } catch (const Error&) {
    // A list that cannot be opened stays empty.
  } catch (const std::bad_alloc&) {
    // So does memory running out: what was appended stays.
  }
  list.set_more_followed(read.stop == ReadingStop::kFieldCount);
  list.set_more_text_followed(read.stop == ReadingStop::kText);
}

void Brennel::Form_Load() {
  LoadInputD();
  LoadInputA();
}

void Brennel::LoadInputA() { LoadList(kActivationListFile, colInputA); }

void Brennel::LoadInputD() { LoadList(kDeactivationListFile, colInputD); }

void Brennel::LoadList(const char* file_name, EntryList& list) {
  LoadEntryList(platform_, file_name, list);
}

void Brennel::Command3_Click() { RenamePairs(colInputA, Direction::kActivation); }

void Brennel::Command4_Click() { RenamePairs(colInputD, Direction::kDeactivation); }

void Brennel::RenamePairs(const EntryList& list, Direction direction) {
  renamed_by_last_walk_ = 0;
  // The walk counts entries with 16-bit signed integers.
  if (list.size() > kInt16Max || list.more_followed()) {
    const std::string most = std::to_string(kInt16Max);
    throw Error(error_number::kOverflow, "Overflow: the list holds more than " + most +
                                             " entries; at most " + most + " can be walked");
  }
  if (list.more_text_followed()) {
    const std::string most = std::to_string(kMaxListText);
    throw Error(error_number::kOutOfMemory, "Out of memory: the list holds more than " + most +
                                                " bytes of text; at most " + most +
                                                " can be walked");
  }
  platform_.BeginWalk();
  struct WalkEnd {
    Platform& platform;
    ~WalkEnd() { platform.EndWalk(); }
  } walk_end{platform_};
  keep_alive_.Start();
  // The counters stay within 16 bits for every list that fits; a complete
  // walk of 32,766 or 32,767 entries ends normally.
  for (std::size_t i = 0; i + 1 < list.size(); i += 2) {
    if (i != 0) keep_alive_.BetweenPairs();
    const std::string& first = list[i];
    const std::string& second = list[i + 1];
    const bool activating = direction == Direction::kActivation;
    const std::string& source = activating ? first : second;
    const std::string& target = activating ? second : first;
    platform_.BeginPair(i / 2 + 1, source, target);
    if (platform_.FindFile(source).empty()) {
      platform_.ShowMessage(source + " is missing");
      return;
    }
    platform_.RenameFile(source, target);
    ++renamed_by_last_walk_;
  }
}

}  // namespace tavrik
