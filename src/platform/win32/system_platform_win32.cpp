// File operations on Windows. Paths are UTF-8 in the launcher and reach
// Windows as UTF-16 through the W functions only.

#include <windows.h>

#include <string>

#include "error_condition.h"
#include "system_platform.h"
#include "wide_text.h"

namespace tavrik {

namespace {

// The system's own text for an error number, without its line end.
std::string SystemMessage(DWORD number) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, number, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer != nullptr ? buffer : L"", length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) return "Unknown error " + std::to_string(number);
  return Narrow(text);
}

Error RenameError(DWORD number, const std::string& source, const std::string& target) {
  std::string description =
      "Cannot rename " + Quoted(source) + " to " + Quoted(target) + ": " + SystemMessage(number);
  if (number == ERROR_NOT_SAME_DEVICE) description += " (nothing is copied)";
  return Error(number, description);
}

// A NUL would cut the path short at the W call, and a different file would
// be tested or moved.
bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

// The answers of GetFileAttributesW that mean "no such file" rather than a
// failure of the test itself.
bool MeansAbsent(DWORD number) {
  switch (number) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return true;
    default:
      return false;
  }
}

std::string BaseName(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

}  // namespace

struct SystemPlatform::State {};

SystemPlatform::SystemPlatform(MessageBox message_box)
    : message_box_(std::move(message_box)), state_(std::make_unique<State>()) {}

SystemPlatform::~SystemPlatform() = default;

// Windows matches names itself: there is nothing to learn between walks.
void SystemPlatform::BeginWalk() {}
void SystemPlatform::EndWalk() {}

std::string SystemPlatform::FindFile(const std::string& path) {
  // A directory search would take '*' and '?' as patterns and then the
  // rename would be asked to move a path that does not exist.
  if (path.empty() || HasNul(path) || path.find_first_of("*?") != std::string::npos) return {};
  const std::wstring wide = Widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD number = GetLastError();
    if (MeansAbsent(number)) return {};
    throw Error(number, "Cannot look for " + Quoted(path) + ": " + SystemMessage(number));
  }
  return (attributes & kNotAFile) != 0 ? std::string() : BaseName(path);
}

void SystemPlatform::RenameFile(const std::string& source, const std::string& target) {
  if (source.empty() || target.empty()) throw RenameError(ERROR_PATH_NOT_FOUND, source, target);
  if (HasNul(source) || HasNul(target)) throw RenameError(ERROR_INVALID_NAME, source, target);
  // No MOVEFILE_REPLACE_EXISTING: an existing target is never replaced. No
  // MOVEFILE_COPY_ALLOWED: a move to another volume fails instead of copying.
  if (!MoveFileExW(Widen(source).c_str(), Widen(target).c_str(), 0)) {
    throw RenameError(GetLastError(), source, target);
  }
}

std::string SystemPlatform::DecodeLegacyText(std::string_view bytes) {
  return Narrow(WidenCodePage(CP_ACP, bytes));
}

}  // namespace tavrik
