#include "platform.h"

#include "text_encoding.h"

namespace tavrik {

std::string Platform::DecodeLegacyText(std::string_view bytes) { return DecodeWindows1252(bytes); }

}  // namespace tavrik
