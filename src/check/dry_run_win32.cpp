// The dry run on Windows: the presence test and the rename checked as
// Windows would check them, with the run's renames on top of the disk. Paths
// are compared as Windows compares them: made full by GetFullPathNameW
// (which takes "." and ".." and trailing dots and spaces off), in any case.

#include <windows.h>

#include "dry_run.h"
#include "list_path.h"
#include "shown_text.h"
#include "wide_text.h"
#include "windows_files.h"

namespace tavrik {

namespace {

// As Windows compares names.
std::wstring Upper(std::wstring text) {
  CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// `path` as `call` writes it into a buffer of the size it asks for; as it is
// when the call fails.
template <typename Call>
std::wstring Rewritten(const std::wstring& path, Call call) {
  const DWORD size = call(path.c_str(), nullptr, 0);
  if (size == 0) return path;
  std::wstring text(size, L'\0');
  text.resize(call(path.c_str(), text.data(), size));
  return text;
}

std::wstring FullPath(const std::string& path) {
  return Rewritten(Widen(path), [](const wchar_t* text, wchar_t* full, DWORD size) {
    return GetFullPathNameW(text, size, full, nullptr);
  });
}

std::wstring DiskSpelling(const std::wstring& full) { return Rewritten(full, GetLongPathNameW); }

std::wstring FolderOf(const std::wstring& full) {
  const std::size_t separator = full.find_last_of(L"\\/");
  return separator == std::wstring::npos ? L"." : full.substr(0, separator);
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring Volume(const std::wstring& path) {
  wchar_t volume[MAX_PATH + 1] = L"";
  return GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1) ? Upper(volume) : L"";
}

// The names of `full` after its root, split at separators.
std::vector<std::wstring> Names(const std::wstring& full) {
  std::vector<std::wstring> names(1);
  for (const wchar_t c : full) {
    if (c == L'\\' || c == L'/')
      names.emplace_back();
    else
      names.back() += c;
  }
  return names;
}

// 0, or the error with which Windows will refuse to move the file at
// `source` (where it is on disk) into the folder `target_folder`. The file is
// opened as a rename opens it, for deletion, sharing everything: denied
// (error 5), or held open by a program that does not let it be deleted
// (error 32). The folder is opened for adding a file (error 5 when denied).
DWORD ForeseenRefusal(const std::wstring& source, const std::wstring& target_folder) {
  const auto opening = [](const std::wstring& path, DWORD access, DWORD flags) -> DWORD {
    const HANDLE handle =
        CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(handle);
    return 0;
  };
  // A link is moved itself, as MoveFileExW moves it.
  const DWORD moving = opening(source, DELETE, FILE_FLAG_OPEN_REPARSE_POINT);
  if (moving == ERROR_ACCESS_DENIED || moving == ERROR_SHARING_VIOLATION) return moving;
  const DWORD adding = opening(target_folder, FILE_ADD_FILE, FILE_FLAG_BACKUP_SEMANTICS);
  return adding == ERROR_ACCESS_DENIED ? adding : 0;
}

// Where a moved file was and is, as the lists spelled them.
struct Spelled {
  std::string origin_path, path;
};

// By full path in upper case.
class Win32DryRun : public RecordingDryRun<std::wstring, Spelled> {
 public:
  std::string FindFile(const std::string& path) override {
    if (!Testable(path)) return {};
    if (const auto* there = At(Upper(FullPath(path)))) {
      return *there ? path.substr(path.find_last_of("\\/:") + 1) : "";
    }
    return NormalFileName(path);
  }

  void RenameFile(const std::string& source, const std::string& target) override {
    const auto refuse = [&](DWORD number) { throw RenameError(number, source, target); };
    if (source.empty() || target.empty()) refuse(ERROR_PATH_NOT_FOUND);
    if (HasNul(source) || HasNul(target)) refuse(ERROR_INVALID_NAME);
    const std::wstring from = FullPath(source), to = FullPath(target), into = FolderOf(to);
    if (!Exists(from)) refuse(ERROR_FILE_NOT_FOUND);
    if (Upper(from) == Upper(to)) return;  // the file itself, perhaps in another case
    if (!IsFolder(into)) refuse(ERROR_PATH_NOT_FOUND);
    if (Exists(to)) refuse(ERROR_ALREADY_EXISTS);
    if (Volume(from) != Volume(into)) refuse(ERROR_NOT_SAME_DEVICE);
    // What Windows refuses beyond the names, asked of the file where it is on disk.
    const auto* moved = At(Upper(from));
    if (const DWORD number =
            ForeseenRefusal(moved ? Widen((*moved)->data.origin_path) : from, into)) {
      refuse(number);
    }
    RecordMove(Upper(from), Upper(to),
               {moved ? (*moved)->data.origin_path : Narrow(from), Narrow(to)});
  }

  PathFacts Facts(const std::string& path) override {
    if (!Testable(path)) return {};
    const std::wstring full = FullPath(path);
    const ListPath names = ParseListPath(path);
    if (names.names_folder || !IsFolder(FolderOf(full))) return {.where = Narrow(full)};
    const bool found = Exists(full);
    // GetLongPathNameW spells the names that exist as the disk does.
    const std::wstring spelled = found && At(Upper(full)) == nullptr
                                     ? DiskSpelling(full)
                                     : DiskSpelling(FolderOf(full)) + L"\\" + Names(full).back();
    PathFacts facts{.folder_found = true, .file_found = found, .where = Narrow(spelled)};
    const std::vector<std::wstring> listed = Names(full), on_disk = Names(spelled);
    for (std::size_t i = 0; i < listed.size() && i < on_disk.size(); ++i) {
      if (listed[i] == on_disk[i] || Upper(listed[i]) != Upper(on_disk[i])) continue;
      (i + 1 == listed.size() ? facts.file_other_case : facts.folder_other_case) = true;
    }
    // Windows takes the dots and spaces off the end of every name.
    for (std::size_t i = 0; i < names.names.size(); ++i) {
      if (WithoutTrailingDots(names.names[i]) == names.names[i]) continue;
      (i + 1 == names.names.size() ? facts.file_trailing_dots : facts.folder_trailing_dots) = true;
    }
    facts.file_trailing_dots = facts.file_trailing_dots && found;
    return facts;
  }

 private:
  std::pair<std::string, std::string> PathsOf(const std::wstring&,
                                              const Entry& entry) const override {
    return {entry.data.origin_path, entry.data.path};
  }
  bool Exists(const std::wstring& full) const {
    if (const auto* there = At(Upper(full))) return there->has_value();
    return GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
};

}  // namespace

std::string NameKeyOf(std::string_view name) { return Narrow(Upper(Widen(std::string(name)))); }

std::vector<std::vector<std::string>> DryRun::CaseTwins(const std::string& folder) {
  // Only a folder marked case-sensitive can hold such names.
  std::vector<std::vector<std::string>> twins;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(Widen(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return twins;
  std::map<std::wstring, std::vector<std::string>> by_key;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") by_key[Upper(name)].push_back(Narrow(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (auto& [key, names] : by_key) {
    if (names.size() > 1) twins.push_back(std::move(names));
  }
  return twins;
}

std::vector<std::pair<std::string, bool>> DryRun::FolderNames(const std::string& folder) {
  std::vector<std::pair<std::string, bool>> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(Widen(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") {
      names.emplace_back(Narrow(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

std::unique_ptr<DryRun> MakeDryRun() { return std::make_unique<Win32DryRun>(); }

Failure FailureOf(std::int64_t number) {
  if (number == ERROR_ALREADY_EXISTS || number == ERROR_FILE_EXISTS) return Failure::kTaken;
  if (number == ERROR_FILE_NOT_FOUND || number == ERROR_PATH_NOT_FOUND) return Failure::kNotFound;
  for (const DWORD refused :
       {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_NOT_SAME_DEVICE, ERROR_WRITE_PROTECT}) {
    if (number == refused) return Failure::kRefused;
  }
  return Failure::kOther;  // Windows matches names in any case itself: never ambiguous
}

std::pair<std::string, std::string> RefusalCause(std::int64_t number, const std::string& source,
                                                 const std::string& folder,
                                                 const std::string& here) {
  const std::string file = Named(FromHere(source, here)), into = Named(FromHere(folder, here));
  switch (number) {
    case ERROR_SHARING_VIOLATION:
      return {file + " is open in another program that does not let it be moved",
              "close that program (the game, an editor)"};
    case ERROR_ACCESS_DENIED:
      return {"Windows denies moving " + file + " into " + into + " (their security settings)",
              "run Brennel as a user who may, or change them"};
    case ERROR_NOT_SAME_DEVICE:
      return {file + " and " + into + " are on different drives, and a rename does not copy",
              "keep the mod's files on one"};
    case ERROR_WRITE_PROTECT:
      return {into + " is on a write-protected disk", "put the mod on a disk that is not"};
    default:
      return {};
  }
}

// Windows lists a folder to whoever may look in it: a denial is the rename's own.
std::pair<std::string, std::string> UnreadableCause(const std::string&, const std::string&) {
  return {};
}

bool IsFolderPath(const std::string& path) { return IsFolder(Widen(path)); }

std::string MoveCommand(const std::string& from, const std::string& to) {
  return "if not exist \"" + to + "\" move \"" + from + "\" \"" + to + "\"";
}

}  // namespace tavrik
