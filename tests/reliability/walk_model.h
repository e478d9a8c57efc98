#pragma once

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

// A deliberately plain model of the pair walk on a tree of files and folders,
// written from the rules a user reads, not from the code: it predicts which
// renames happen and how the walk ends.
namespace walk_model {

struct Tree {
  std::map<std::string, std::string> files;  // path -> content
  std::set<std::string> folders;
};

enum class End { kNormal, kMissing, kError };

struct Outcome {
  End end = End::kNormal;
  std::string message;   // kMissing: the text of the message box
  int error_number = 0;  // kError: errno of the refused rename
  std::string source;    // kError: the paths as the list spells them
  std::string target;
};

// "./a" and "a" name the same entry; the lists here use no other aliases.
inline std::string Canonical(std::string path) {
  while (path.rfind("./", 0) == 0) path.erase(0, 2);
  return path;
}

inline std::string Parent(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

inline bool Exists(const Tree& tree, const std::string& path) {
  return tree.files.count(path) != 0 || tree.folders.count(path) != 0;
}

// Windows drops the dots and spaces at the end of every name of a path; a
// name spelled so on disk still means itself.
inline std::string OnDisk(const Tree& tree, const std::string& path) {
  std::string result;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string name = path.substr(start, end - start);
    const std::string exact = result.empty() ? name : result + "/" + name;
    const auto last = name.find_last_not_of(". ");
    if (!Exists(tree, exact) && name != "." && name != ".." && last != std::string::npos) {
      name.erase(last + 1);
    }
    result = result.empty() ? name : result + "/" + name;
    start = end + 1;
  }
  return result;
}

// The errno of moving a present file onto `target`, or 0 when it may move.
inline int RefusalOf(const Tree& tree, const std::string& target) {
  if (target.empty()) return ENOENT;
  const std::string parent = Parent(target);
  if (!parent.empty() && tree.folders.count(parent) == 0) {
    return tree.files.count(parent) != 0 ? ENOTDIR : ENOENT;
  }
  if (tree.files.count(target) != 0 || tree.folders.count(target) != 0) return EEXIST;
  return 0;
}

// Walks `list` in the given direction over `tree`, changing it as the real
// walk should change the disk.
inline Outcome Walk(Tree& tree, const std::vector<std::string>& list, bool activation) {
  for (std::size_t i = 0; i + 1 < list.size(); i += 2) {
    const std::string& source = activation ? list[i] : list[i + 1];
    const std::string& target = activation ? list[i + 1] : list[i];
    const std::string from = OnDisk(tree, Canonical(source));
    const std::string to = OnDisk(tree, Canonical(target));
    if (from.empty() || tree.files.count(from) == 0) {
      return {End::kMissing, source + " is missing", 0, "", ""};
    }
    if (from == to) continue;  // moving a file onto its own name changes nothing
    if (const int refusal = RefusalOf(tree, to)) {
      return {End::kError, "", refusal, source, target};
    }
    tree.files[to] = tree.files[from];
    tree.files.erase(from);
  }
  return {};
}

}  // namespace walk_model
