// Thousands of generated list files and starting trees: loaded as the
// program loads them, then walked for real and by the plain reference of
// reference_platform.h, each on its own copy of the tree.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "launcher.h"
#include "reference_platform.h"
#include "scratch_folder.h"
#include "system_platform.h"

namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::string>;

struct Tree {
  std::map<std::string, std::string> files;  // path -> content
  std::set<std::string> folders;
};

std::string Parent(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

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
    const std::string parent = Parent(name);
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

// How one click ended: "complete", the message, or the error's number and
// the paths it names.
std::string Click(tavrik::Brennel& brennel, std::vector<std::string>& messages, bool activation) {
  messages.clear();
  try {
    activation ? brennel.Command3_Click() : brennel.Command4_Click();
  } catch (const tavrik::Error& error) {
    // A refused rename names both paths, as the list spells them.
    const std::string& text = error.Description();
    const std::string renaming = "Cannot rename ";
    const std::size_t end = text.find("': ");
    const std::string paths =
        text.rfind(renaming, 0) != 0
            ? ""
            : text.substr(renaming.size(),
                          end == std::string::npos ? end : end + 1 - renaming.size());
    return "error " + std::to_string(error.Number()) + " " + paths;
  }
  if (messages.size() > 1) return "more than one message box";
  return messages.empty() ? "complete" : "missing: " + messages.front();
}

void RunCase(int case_number, tavrik::SystemPlatform& platform,
             std::vector<std::string>& messages) {
  Random random(static_cast<std::uint32_t>(case_number));
  ScratchFolder folder;
  const Tree start = RandomTree(random, case_number);
  const Entries activation = RandomEntries(random, start);
  const Entries deactivation = random.Chance(50) ? activation : RandomEntries(random, start);
  const std::string mla = ListFileText(random, activation);
  const std::string mld = ListFileText(random, deactivation);
  SCOPED_TRACE("Tavrik.mla: [" + mla + "]\nTavrik.mld: [" + mld + "]");
  for (const char* copy : {"walk", "reference"}) {
    fs::create_directory(copy);
    fs::current_path(copy);
    CreateOnDisk(start);
    fs::current_path("..");
  }
  fs::current_path("walk");
  WriteFile("Tavrik.mla", mla);
  WriteFile("Tavrik.mld", mld);
  tavrik::Brennel brennel(platform);
  brennel.Form_Load();
  ASSERT_EQ(brennel.colInputA, activation);
  ASSERT_EQ(brennel.colInputD, deactivation);
  reference::ReferencePlatform reference;
  tavrik::Brennel model(reference);
  model.colInputA = brennel.colInputA;
  model.colInputD = brennel.colInputD;

  for (std::size_t click = 0, clicks = 1 + random.Below(3); click < clicks; ++click) {
    const bool activate = random.Chance(60);
    SCOPED_TRACE(std::string("click ") + std::to_string(click + 1) +
                 (activate ? ": Activate" : ": Deactivate"));
    fs::current_path(folder.path() / "walk");
    const std::string walked = Click(brennel, messages, activate);
    const Tree disk = ReadFromDisk();
    fs::current_path(folder.path() / "reference");
    const std::string predicted = Click(model, reference.messages, activate);
    const Tree expected = ReadFromDisk();
    ASSERT_EQ(walked, predicted);
    ASSERT_EQ(Contents(disk), Contents(start)) << "a file was lost, overwritten or duplicated";
    ASSERT_EQ(disk.files, expected.files);
    ASSERT_EQ(disk.folders, expected.folders);
    if (walked.rfind("error", 0) == 0) break;  // the program ends after an error
  }
  fs::current_path(folder.path());
}

TEST(WalkModel, GeneratedListFilesLoadAndRenameAsTheReferencePredictsAndLoseNothing) {
  // Each case makes and removes a folder of files; on a disk mounted with
  // "discard" that costs twenty times more than in memory, and a rename is
  // the same operation on both.
  if (fs::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
  std::vector<std::string> messages;
  tavrik::SystemPlatform platform([&](const std::string& text) { messages.push_back(text); });
  for (int case_number = 0; case_number < kCases; ++case_number) {
    SCOPED_TRACE("case " + std::to_string(case_number));
    RunCase(case_number, platform, messages);
    if (HasFatalFailure() || HasNonfatalFailure()) return;  // the first failing case tells most
  }
}

}  // namespace
