#pragma once

// A plain reference for the presence test and the rename on Linux, written
// from the README's rules rather than from the product's code: every path is
// made absolute from the working directory, its "." and ".." taken from the
// text, and each name looked up afresh in its folder's listing at the moment
// of the call. Nothing is kept between calls, no descriptor is held.

#include <string>
#include <vector>

#include "library_list_file.h"
#include "platform.h"

namespace reference {

class ReferencePlatform : public tavrik::Platform {
 public:
  /// `case_insensitive`: the files are on a file system that ignores case,
  /// where a name is found as spelled in any case, a folder is one however
  /// spelled, and a pair that changes only the case respells the file.
  explicit ReferencePlatform(bool case_insensitive = false) : case_insensitive_(case_insensitive) {}
  std::vector<std::string> messages;

  std::string FindFile(const std::string& path) override;
  void RenameFile(const std::string& source, const std::string& target) override;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::unique_ptr<tavrik::ByteSource> OpenListFile(const std::string& name) override {
    return LibraryListFile::Open(name);
  }

 private:
  bool case_insensitive_;
};

}  // namespace reference
