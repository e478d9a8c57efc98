#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "error_condition.h"
#include "library_list_file.h"
#include "platform.h"

// An in-memory file system that records what the launcher asked of it.
class FakePlatform : public tavrik::Platform {
 public:
  std::map<std::string, std::string> files;  // path -> content
  std::set<std::string> refused_targets;     // renames onto these fail
  std::vector<std::string> searched;
  std::vector<std::string> messages;

  std::string FindFile(const std::string& path) override {
    searched.push_back(path);
    return files.count(path) != 0 ? path : std::string();
  }

  void RenameFile(const std::string& source, const std::string& target) override {
    if (refused_targets.count(target) != 0 || files.count(target) != 0) {
      throw tavrik::Error(17, "Cannot rename '" + source + "' to '" + target + "': File exists");
    }
    auto node = files.extract(source);
    node.key() = target;
    files.insert(std::move(node));
  }

  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  // List files come from the working directory, read with the C library.
  std::unique_ptr<tavrik::ByteSource> OpenListFile(const std::string& name) override {
    return LibraryListFile::Open(name);
  }
};
