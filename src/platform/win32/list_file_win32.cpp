// The list files on Windows: opened and read with the system's own calls,
// so that a read failure part-way keeps every byte read before it.

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "error_condition.h"
#include "system_platform.h"
#include "wide_text.h"

namespace tavrik {

namespace {

Error ListFileError(DWORD number, std::string_view what, const std::string& name) {
  return Error(number, std::string(what) + " " + Quoted(name) + " (Windows error " +
                           std::to_string(number) + ")");
}

class ListFile : public ByteSource {
 public:
  ListFile(HANDLE file, std::string name, std::uint64_t size)
      : file_(file), name_(std::move(name)), size_(size) {}
  ~ListFile() override { CloseHandle(file_); }
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file_, buffer, wanted, &got, nullptr)) {
      throw ListFileError(GetLastError(), "Cannot read", name_);
    }
    return got;
  }
  std::uint64_t SizeHint() const override { return size_; }

 private:
  HANDLE file_;
  std::string name_;
  std::uint64_t size_;
};

}  // namespace

std::unique_ptr<ByteSource> SystemPlatform::OpenListFile(const std::string& name) {
  // A NUL would cut the name short at the W call and open another file.
  if (name.empty() || name.find('\0') != std::string::npos) {
    throw ListFileError(ERROR_INVALID_NAME, "Cannot open", name);
  }
  // Others may read and write the file meanwhile, as an open editor does. A
  // folder cannot be opened this way at all.
  const HANDLE file = CreateFileW(Widen(name).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw ListFileError(GetLastError(), "Cannot open", name);
  // Pipes and devices (CON, COM1) are no list: reading could wait or never end.
  LARGE_INTEGER size;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    throw ListFileError(ERROR_INVALID_FUNCTION, "Cannot open", name);
  }
  try {
    return std::make_unique<ListFile>(file, name, static_cast<std::uint64_t>(size.QuadPart));
  } catch (...) {
    CloseHandle(file);
    throw;
  }
}

}  // namespace tavrik
