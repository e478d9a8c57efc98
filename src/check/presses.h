#pragma once

// The buttons pressed on a dry run: how each press ends, and for a button
// pressed and then the other, which files do not come back and why.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checked_list.h"
#include "dry_run.h"
#include "launcher.h"

namespace tavrik {

/// How a press of a button ends.
struct Outcome {
  std::string result = "nothing";   // "complete", "missing", "error" or "nothing"
  std::optional<std::size_t> pair;  // the pair that stopped it, from 1
  std::optional<std::string> text;  // the box's text
  std::size_t renames = 0;
  std::string at;  // where the stopping pair's source stands: "Tavrik.mla:5:1"
};

/// A file that a button and then the other leave elsewhere than it was.
struct Displaced {
  std::string from, to;  // paths as the disk spells them
  std::string cause;     // why, and the fix, in a few words; "" when unknown
};

/// A button pressed now, then the other one.
struct ButtonRun {
  Outcome from_now;
  Outcome then_other;
  bool round_trip = false;  // every file back where it was
  std::vector<Displaced> displaced;
  std::size_t displaced_unnamed = 0;  // beyond those named
};

/// The tool's own Brennel over a dry run. Its two lists are the ones
/// brennel-check looks at.
class Presser {
 public:
  explicit Presser(DryRun& run) : counting_(run), brennel_(counting_), run_(run) {}
  Presser(const Presser&) = delete;
  Presser& operator=(const Presser&) = delete;

  Brennel& brennel() { return brennel_; }
  /// The lists, once loaded into brennel(): for naming entries.
  void Know(const CheckedList& activation, const CheckedList& deactivation) {
    lists_[0] = &activation;
    lists_[1] = &deactivation;
  }

  /// A press on the run as it is; its renames are recorded on top.
  Outcome Press(bool activate);
  /// From the disk as it is, a button pressed and then the other one.
  ButtonRun PressBoth(bool activate_first);

 private:
  // The run as the walk sees it, counting its presence tests, so that the
  // pair a walk stopped at is known, and noting the pair of each rename.
  class Counting : public Platform {
   public:
    explicit Counting(DryRun& run) : run_(run) {}
    std::size_t tests = 0;
    std::vector<std::size_t>* renamed = nullptr;

    void BeginWalk() override { run_.BeginWalk(); }
    void EndWalk() override { run_.EndWalk(); }
    void BeginPair(const std::string& source, const std::string& target) override {
      run_.BeginPair(source, target);
    }
    std::string FindFile(const std::string& path) override {
      ++tests;
      return run_.FindFile(path);
    }
    void RenameFile(const std::string& source, const std::string& target) override {
      run_.RenameFile(source, target);
      if (renamed != nullptr) renamed->push_back(tests);
    }
    void ShowMessage(const std::string& text) override { run_.ShowMessage(text); }
    std::unique_ptr<ByteSource> OpenListFile(const std::string& name) override {
      return run_.OpenListFile(name);
    }
    std::string DecodeLegacyText(std::string_view bytes) override {
      return run_.DecodeLegacyText(bytes);
    }

   private:
    DryRun& run_;
  };

  std::string Cause(const Displaced& file, bool activate_first, const ButtonRun& both,
                    const std::vector<std::size_t> (&renamed)[2]);

  Counting counting_;
  Brennel brennel_;
  DryRun& run_;
  const CheckedList* lists_[2] = {nullptr, nullptr};
};

/// "Activate" or "Deactivate".
inline const char* ButtonOf(bool activate) { return activate ? "Activate" : "Deactivate"; }

/// The last name of a path, after its last separator.
std::string LastName(const std::string& path);

}  // namespace tavrik
