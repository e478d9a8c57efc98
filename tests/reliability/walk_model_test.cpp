// Thousands of generated list files and starting trees, each walked for real
// in a temporary folder and checked against the model in walk_model.h.

#include "walk_model.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>

#include "launcher.h"
#include "scratch_folder.h"
#include "system_platform.h"

namespace {

namespace fs = std::filesystem;
using walk_model::End;
using walk_model::Tree;
using Entries = std::vector<std::string>;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kCases = 2000;  // the sanitizers make each case several times slower
#else
constexpr int kCases = 10000;
#endif

// Files that may exist at the start, folders that may exist, and paths that
// never do: into a missing folder, below a file, an alias, the empty path.
const Entries kFileNames = {"a.esp",        "b.esp",      "c.dds",      "d e.txt",
                            "x,y.esp",      ".dot",       "w*?",        "pad ",
                            "\xC3\x9C.esp", "Data/m.esp", "Data/n.esp", "Data/Sub/o.esp"};
const Entries kFolderNames = {"Data/Sub", "Folder"};
const Entries kOtherNames = {"missing.esp", "NoDir/p.esp", "a.esp/q", "./a.esp", "./Data/m.esp",
                             "Folder",      "Data",        "",        "c.dds.",  "Data. /n.esp ."};

class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  std::size_t Below(std::size_t n) { return engine_() % n; }
  bool Chance(int percent) { return Below(100) < static_cast<std::size_t>(percent); }
  const std::string& Pick(const Entries& from) { return from[Below(from.size())]; }

 private:
  std::mt19937 engine_;
};

Tree RandomTree(Random& random, int case_number) {
  Tree tree;
  tree.folders.insert("Data");
  for (const auto& folder : kFolderNames) {
    if (random.Chance(70)) tree.folders.insert(folder);
  }
  int content = 0;
  for (const auto& name : kFileNames) {
    const std::string parent = walk_model::Parent(name);
    if ((parent.empty() || tree.folders.count(parent) != 0) && random.Chance(50)) {
      tree.files[name] =
          "case " + std::to_string(case_number) + " file " + std::to_string(++content);
    }
  }
  return tree;
}

// Pairs lean towards a present source and a free target, so that walks get
// past their first pair; everything else comes up too.
Entries RandomEntries(Random& random, const Tree& tree) {
  Entries present;
  for (const auto& [name, content] : tree.files) present.push_back(name);
  Entries any = kFileNames;
  any.insert(any.end(), kOtherNames.begin(), kOtherNames.end());
  Entries entries;
  const std::size_t count = random.Below(13);
  for (std::size_t i = 0; i < count; ++i) {
    const bool source_slot = i % 2 == 0;
    if (source_slot && !present.empty() && random.Chance(60)) {
      entries.push_back(random.Pick(present));
    } else {
      entries.push_back(random.Pick(any));
    }
  }
  return entries;
}

bool NeedsQuotes(const std::string& entry) {
  return entry.find(',') != std::string::npos ||
         (!entry.empty() && (entry.front() == ' ' || entry.back() == ' '));
}

// A list file whose fields are exactly `entries`, written in one of the many
// ways the format allows: line ends of one kind, several fields to a line,
// quotes, spaces, blank lines for empty entries, a byte order mark.
std::string ListFileText(Random& random, const Entries& entries) {
  const char* line_end = random.Chance(50) ? "\r\n" : random.Chance(50) ? "\n" : "\r";
  std::string text = random.Chance(10) ? "\xEF\xBB\xBF" : "";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    const bool last = i + 1 == entries.size();
    if (random.Chance(30)) text += random.Chance(50) ? "  " : "\t";
    if (NeedsQuotes(entry) || (entry.empty() && last) || random.Chance(20)) {
      text += '"' + entry + '"';
    } else {
      text += entry;
      if (!entry.empty() && random.Chance(20)) text += " \t";
    }
    if (!last) text += random.Chance(30) ? "," : line_end;
  }
  if (random.Chance(50)) text += line_end;
  return text;
}

void CreateOnDisk(const Tree& tree) {
  for (const auto& folder : tree.folders) fs::create_directories(folder);
  for (const auto& [path, content] : tree.files) WriteFile(path, content);
}

Tree ReadFromDisk() {
  Tree tree;
  for (const auto& item : fs::recursive_directory_iterator(".")) {
    const std::string path = item.path().lexically_relative(".").generic_string();
    if (item.is_directory()) {
      tree.folders.insert(path);
    } else if (path != "Tavrik.mla" && path != "Tavrik.mld") {
      tree.files[path] = ReadFile(item.path());
    }
  }
  return tree;
}

std::vector<std::string> Contents(const Tree& tree) {
  std::vector<std::string> contents;
  for (const auto& [path, content] : tree.files) contents.push_back(content);
  std::sort(contents.begin(), contents.end());
  return contents;
}

// What one click did, in the model's terms.
walk_model::Outcome Click(tavrik::Brennel& brennel, std::vector<std::string>& messages,
                          bool activation) {
  messages.clear();
  try {
    activation ? brennel.Command3_Click() : brennel.Command4_Click();
  } catch (const tavrik::Error& error) {
    return {End::kError, error.Description(), static_cast<int>(error.Number()), "", ""};
  }
  if (messages.empty()) return {};
  return {End::kMissing, messages.front(), static_cast<int>(messages.size()), "", ""};
}

void ExpectSameOutcome(const walk_model::Outcome& model, const walk_model::Outcome& real) {
  ASSERT_EQ(static_cast<int>(real.end), static_cast<int>(model.end))
      << "message or error: " << real.message;
  if (model.end == End::kMissing) {
    EXPECT_EQ(real.message, model.message);
    EXPECT_EQ(real.error_number, 1) << "one message box per walk";
  } else if (model.end == End::kError) {
    EXPECT_EQ(real.error_number, model.error_number) << real.message;
    EXPECT_NE(real.message.find("'" + model.source + "' to '" + model.target + "'"),
              std::string::npos)
        << real.message;
  }
}

void RunCase(int case_number) {
  Random random(static_cast<std::uint32_t>(case_number));
  ScratchFolder folder;
  Tree model = RandomTree(random, case_number);
  CreateOnDisk(model);
  const std::vector<std::string> contents_at_start = Contents(model);
  const Entries activation = RandomEntries(random, model);
  const Entries deactivation = random.Chance(50) ? activation : RandomEntries(random, model);
  const std::string mla = ListFileText(random, activation);
  const std::string mld = ListFileText(random, deactivation);
  WriteFile("Tavrik.mla", mla);
  WriteFile("Tavrik.mld", mld);
  SCOPED_TRACE("Tavrik.mla: [" + mla + "]\nTavrik.mld: [" + mld + "]");

  std::vector<std::string> messages;
  tavrik::SystemPlatform platform([&](const std::string& text) { messages.push_back(text); });
  tavrik::Brennel brennel(platform);
  brennel.Form_Load();
  ASSERT_EQ(brennel.colInputA, activation);
  ASSERT_EQ(brennel.colInputD, deactivation);

  for (std::size_t click = 0, clicks = 1 + random.Below(3); click < clicks; ++click) {
    const bool activate = random.Chance(60);
    SCOPED_TRACE(std::string("click ") + std::to_string(click + 1) +
                 (activate ? ": Activate" : ": Deactivate"));
    const auto predicted = walk_model::Walk(model, activate ? activation : deactivation, activate);
    ExpectSameOutcome(predicted, Click(brennel, messages, activate));
    const Tree disk = ReadFromDisk();
    ASSERT_EQ(Contents(disk), contents_at_start) << "a file was lost, overwritten or duplicated";
    ASSERT_EQ(disk.files, model.files);
    ASSERT_EQ(disk.folders, model.folders);
    if (predicted.end == End::kError) break;  // the program ends after an error
  }
}

TEST(WalkModel, GeneratedListsRenameAsTheModelPredictsAndLoseNothing) {
  // Each case makes and removes a folder of files; on a disk mounted with
  // "discard" that costs twenty times more than in memory, and a rename is
  // the same operation on both.
  if (fs::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
  for (int case_number = 0; case_number < kCases; ++case_number) {
    SCOPED_TRACE("case " + std::to_string(case_number));
    RunCase(case_number);
    if (HasFatalFailure() || HasNonfatalFailure()) return;  // the first failing case tells most
  }
}

}  // namespace
