#include "wide_text.h"

#include <climits>
#include <new>

namespace tavrik {

namespace {

// The conversion functions take int lengths.
int CheckedLength(std::size_t size) {
  if (size > static_cast<std::size_t>(INT_MAX)) throw std::bad_alloc();
  return static_cast<int>(size);
}

}  // namespace

std::wstring WidenCodePage(UINT code_page, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = CheckedLength(bytes.size());
  const int length = MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = CheckedLength(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

}  // namespace tavrik
