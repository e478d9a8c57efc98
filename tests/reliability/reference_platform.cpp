#include "reference_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <optional>

#include "error_condition.h"
#include "name_key.h"

namespace reference {

namespace {

using tavrik::Error;

bool Separator(char c) { return c == '/' || c == '\\'; }

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (Separator(c)) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// Absolute names of the list's `path`, as Windows makes them: the working
// directory's path before a relative one, then "." dropped and ".."
// removing the name before it.
std::vector<std::string> AbsoluteNames(const std::string& path) {
  std::vector<std::string> names;
  if (path.empty() || !Separator(path[0])) {
    char here[PATH_MAX];
    if (getcwd(here, sizeof here) == nullptr) throw Error(errno, "no working directory");
    for (const std::string& name : Split(here)) {
      if (!name.empty()) names.push_back(name);
    }
  }
  for (const std::string& name : Split(path)) {
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
  }
  return names;
}

std::string Trimmed(const std::string& name) {
  if (name == "." || name == "..") return name;
  std::size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  return end == 0 ? name : name.substr(0, end);
}

bool IsEntry(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

// The entry of `folder` that `name` means, or none. Throws ENOTUNIQ.
std::optional<std::string> Lookup(const std::string& folder, const std::string& name) {
  const std::string prefix = folder == "/" ? "/" : folder + "/";
  if (IsEntry(prefix + name)) return name;
  const std::string trimmed = Trimmed(name);
  if (IsEntry(prefix + trimmed)) return trimmed;
  std::vector<std::string> listing;
  if (DIR* directory = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(directory)) {
      const std::string entry_name = entry->d_name;
      if (entry_name != "." && entry_name != "..") listing.push_back(entry_name);
    }
    closedir(directory);
  }
  for (const std::string& spelling : {name, trimmed}) {
    std::vector<std::string> matches;
    for (const std::string& entry : listing) {
      if (tavrik::NameKey(entry) == tavrik::NameKey(spelling)) matches.push_back(entry);
    }
    if (matches.size() > 1) throw Error(ENOTUNIQ, "ambiguous: " + spelling);
    if (matches.size() == 1) return matches[0];
  }
  return std::nullopt;
}

// The folder that the first `count` names reach, resolved from the root one
// name after the other; or the errno that says why there is none.
struct Folder {
  std::string path;
  int number = 0;
};

Folder ReachFolder(const std::vector<std::string>& names, std::size_t count) {
  Folder folder{"/"};
  for (std::size_t i = 0; i < count; ++i) {
    const std::optional<std::string> entry = Lookup(folder.path, names[i]);
    if (!entry) return {"", ENOENT};
    folder.path = (folder.path == "/" ? "/" : folder.path + "/") + *entry;
    struct stat status;
    if (stat(folder.path.c_str(), &status) != 0) return {"", errno == ELOOP ? ELOOP : ENOENT};
    if (!S_ISDIR(status.st_mode)) return {"", ENOTDIR};
  }
  return folder;
}

bool NamesFolder(const std::string& path) {
  const std::string last = Split(path).back();
  return last.empty() || last == "." || last == "..";
}

bool Unmappable(const std::string& path) {
  const bool drive =
      path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
  return drive || (path.size() >= 2 && Separator(path[0]) && Separator(path[1]));
}

std::size_t Utf16Units(const std::string& text) {
  std::size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    units += (byte & 0xC0) == 0x80 ? 0 : (byte >= 0xF0 && byte <= 0xF4) ? 2 : 1;
  }
  return units;
}

bool NamesNoFile(const std::string& path) {
  return path.empty() || path.find('\0') != std::string::npos || Unmappable(path) ||
         Utf16Units(path) > 32767;
}

// The regular file that `path` names: its folder and its name there.
struct Located {
  std::string folder, name;
};

std::optional<Located> Locate(const std::string& path) {
  if (NamesNoFile(path) || NamesFolder(path)) return std::nullopt;
  const std::vector<std::string> names = AbsoluteNames(path);
  const Folder folder = ReachFolder(names, names.size() - 1);
  if (folder.number != 0) return std::nullopt;
  const std::optional<std::string> entry = Lookup(folder.path, names.back());
  if (!entry) return std::nullopt;
  struct stat status;
  const std::string full = (folder.path == "/" ? "/" : folder.path + "/") + *entry;
  if (stat(full.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return Located{folder.path, *entry};
}

// Where case is ignored: each name of an absolute folder path as its folder
// lists the one entry of its key.
std::string AsListed(const std::string& path) {
  std::string listed = "/";
  for (const std::string& name : Split(path)) {
    if (name.empty()) continue;
    std::string spelled = name;
    if (DIR* directory = opendir(listed.c_str())) {
      while (const dirent* entry = readdir(directory)) {
        if (tavrik::NameKey(entry->d_name) == tavrik::NameKey(name)) spelled = entry->d_name;
      }
      closedir(directory);
    }
    listed += (listed == "/" ? "" : "/") + spelled;
  }
  return listed;
}

}  // namespace

std::string ReferencePlatform::FindFile(const std::string& path) {
  const std::optional<Located> found = Locate(path);
  return found ? found->name : std::string();
}

void ReferencePlatform::RenameFile(const std::string& source, const std::string& target) {
  const auto refuse = [&](int number) {
    throw Error(number, "Cannot rename '" + source + "' to '" + target + "'");
  };
  if (source.empty() || target.empty()) refuse(ENOENT);
  if (source.find('\0') != std::string::npos || target.find('\0') != std::string::npos) {
    refuse(EINVAL);
  }
  if (Unmappable(source) || Unmappable(target)) refuse(ENOENT);
  if (Utf16Units(source) > 32767 || Utf16Units(target) > 32767) refuse(ENAMETOOLONG);
  const std::optional<Located> from = Locate(source);
  if (!from) refuse(ENOENT);
  const std::vector<std::string> names = AbsoluteNames(target);
  if (NamesFolder(target)) {
    const Folder folder = ReachFolder(names, names.size());
    refuse(folder.number == 0 ? EEXIST : folder.number);
  }
  const Folder to = ReachFolder(names, names.size() - 1);
  if (to.number != 0) refuse(to.number);
  const std::string& spelled = names.back();
  const std::string name = Trimmed(spelled);
  const bool same_folder =
      to.path == from->folder || (case_insensitive_ && AsListed(to.path) == AsListed(from->folder));
  if (same_folder && (spelled == from->name || name == from->name)) return;
  // Where case is ignored, the one entry of the source's key is the source.
  const auto source_itself = [&](const std::string& entry) {
    return same_folder &&
           (entry == from->name ||
            (case_insensitive_ && tavrik::NameKey(entry) == tavrik::NameKey(from->name)));
  };
  // Taken: any other entry that either spelling means in any case.
  if (DIR* directory = opendir(to.path.c_str())) {
    bool taken = false;
    while (const dirent* entry = readdir(directory)) {
      const std::string entry_name = entry->d_name;
      if (entry_name == "." || entry_name == ".." || source_itself(entry_name)) continue;
      const std::string key = tavrik::NameKey(entry_name);
      taken = taken || key == tavrik::NameKey(spelled) || key == tavrik::NameKey(name);
    }
    closedir(directory);
    if (taken) refuse(EEXIST);
  }
  const std::string from_path = (from->folder == "/" ? "" : from->folder) + "/" + from->name;
  const std::string to_path = (to.path == "/" ? "" : to.path) + "/" + name;
  if (case_insensitive_ && source_itself(name)) {
    // A pair that changes only the case respells the file.
    const std::string aside = to_path + ".respelled";
    if (rename(from_path.c_str(), aside.c_str()) != 0 || rename(aside.c_str(), to_path.c_str())) {
      refuse(errno);
    }
    return;
  }
  if (renameat2(AT_FDCWD, from_path.c_str(), AT_FDCWD, to_path.c_str(), RENAME_NOREPLACE) != 0) {
    // Never replacing, also where the file system has no RENAME_NOREPLACE.
    if (errno != EINVAL) refuse(errno);
    if (IsEntry(to_path)) refuse(EEXIST);
    if (rename(from_path.c_str(), to_path.c_str()) != 0) refuse(errno);
  }
}

}  // namespace reference
