#include "windows_files.h"

#include "wide_text.h"

namespace tavrik {

namespace {

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

bool Testable(const std::string& path) {
  return !path.empty() && !HasNul(path) && path.find_first_of("*?") == std::string::npos;
}

std::string NormalFileName(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD number = GetLastError();
    if (MeansAbsent(number)) return {};
    throw Error(number, "Cannot look for " + Quoted(path) + ": " + SystemMessage(number));
  }
  return (attributes & kNotAFile) != 0 ? std::string() : BaseName(path);
}

}  // namespace tavrik
