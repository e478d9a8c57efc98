#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tavrik {

/// Converts list-file bytes that are not UTF-8 into UTF-8 text.
using LegacyDecoder = std::function<std::string(std::string_view bytes)>;

/// True when `bytes` is well-formed UTF-8: no overlong forms, no surrogates,
/// nothing above U+10FFFF, no sequence cut short.
bool IsValidUtf8(std::string_view bytes);

/// Windows-1252 to UTF-8. The five bytes the code page leaves undefined map
/// to the C1 control characters of the same value, as Windows itself does.
std::string DecodeWindows1252(std::string_view bytes);

/// The program's text for a list file's bytes: UTF-8 (its byte order mark
/// dropped) when the whole file is valid UTF-8, otherwise `legacy`'s reading.
std::string DecodeListText(std::string_view bytes, const LegacyDecoder& legacy);

}  // namespace tavrik
