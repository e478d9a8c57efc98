#include "pair_folder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace bench {

namespace {

constexpr char kSourceFolder[] = "mod/data/textures/";
constexpr char kTargetFolder[] = "game/data/textures/";

std::runtime_error SystemFailure(const std::string& what) {
  return std::runtime_error(what + ": " + std::generic_category().message(errno));
}

std::string FileName(char letter, std::size_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "%c%05zu.dds", letter, index);
  return name;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string WithBackslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace

std::vector<Pair> PairsOf(std::size_t count, Layout layout) {
  const bool nested = layout == Layout::kNested;
  std::vector<Pair> pairs;
  pairs.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    pairs.push_back({(nested ? kSourceFolder : "") + FileName('f', i),
                     (nested ? kTargetFolder : "") + FileName('g', i)});
  }
  return pairs;
}

std::size_t RestorePairs(const std::vector<Pair>& pairs) {
  std::size_t moved = 0;
  for (const Pair& pair : pairs) {
    if (!IsRegularFile(pair.target)) continue;
    if (renameat2(AT_FDCWD, pair.target.c_str(), AT_FDCWD, pair.source.c_str(), RENAME_NOREPLACE) !=
        0) {
      throw SystemFailure("Cannot move " + pair.target + " back");
    }
    ++moved;
  }
  return moved;
}

PairFolder::PairFolder(std::size_t count, Layout layout)
    : root_(std::filesystem::current_path().string()),
      layout_(layout),
      pairs_(PairsOf(count, layout)) {
  if (layout == Layout::kNested) {
    std::filesystem::create_directories(kSourceFolder);
    std::filesystem::create_directories(kTargetFolder);
  }
  for (const Pair& pair : pairs_) {
    const int fd = open(pair.source.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw SystemFailure("Cannot create " + pair.source);
    close(fd);
  }
}

PairFolder::~PairFolder() {
  const std::filesystem::path root(root_);
  std::error_code ignored;
  if (layout_ == Layout::kNested) {
    std::filesystem::remove_all(root / "mod", ignored);
    std::filesystem::remove_all(root / "game", ignored);
    return;
  }
  for (const Pair& pair : pairs_) {
    std::filesystem::remove(root / pair.source, ignored);
    std::filesystem::remove(root / pair.target, ignored);
  }
}

std::string PairFolder::ListText(Spelling spelling) const {
  std::string text;
  for (const Pair& pair : pairs_) {
    if (spelling == Spelling::kExact) {
      text += WithBackslashes(pair.source) + "\r\n" + WithBackslashes(pair.target) + "\r\n";
      continue;
    }
    // The disk spells every name in lower case, so upper case differs in
    // every name that exists. The target's file name is new: a layer that
    // matches case keeps it as the list spells it, so it stays as on disk
    // after the move and the walk's result can be checked by name.
    const std::size_t slash = pair.target.rfind('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash;
    text += WithBackslashes(Upper(pair.source)) + "\r\n" +
            WithBackslashes(Upper(pair.target.substr(0, name)) + pair.target.substr(name)) + "\r\n";
  }
  return text;
}

bool IsMoved(const Pair& pair) { return IsRegularFile(pair.target) && !IsRegularFile(pair.source); }

std::size_t PairFolder::CountMoved() const {
  std::size_t moved = 0;
  for (const Pair& pair : pairs_) moved += IsMoved(pair) ? 1 : 0;
  return moved;
}

std::size_t FloorWalk(const std::vector<Pair>& pairs) {
  std::size_t moved = 0;
  for (const Pair& pair : pairs) {
    struct stat st;
    if (lstat(pair.source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) break;
    if (renameat2(AT_FDCWD, pair.source.c_str(), AT_FDCWD, pair.target.c_str(), RENAME_NOREPLACE) !=
        0) {
      throw SystemFailure("Cannot rename " + pair.source);
    }
    ++moved;
  }
  return moved;
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw SystemFailure("Cannot write " + path);
}

}  // namespace bench
