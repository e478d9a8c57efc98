#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tavrik {

/// Text in `code_page` to UTF-16. Bytes the code page cannot map become the
/// code page's default character, as Windows reads them.
std::wstring WidenCodePage(UINT code_page, std::string_view bytes);

/// UTF-8 to UTF-16. Invalid UTF-8 becomes U+FFFD.
inline std::wstring Widen(std::string_view utf8) { return WidenCodePage(CP_UTF8, utf8); }

/// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view wide);

}  // namespace tavrik
