// File operations on Windows. Paths are UTF-8 in the launcher and reach
// Windows as UTF-16 through the W functions only.

#include <windows.h>

#include <string>

#include "system_platform.h"
#include "wide_text.h"
#include "windows_files.h"

namespace tavrik {

struct SystemPlatform::State {};

SystemPlatform::SystemPlatform(MessageBox message_box)
    : message_box_(std::move(message_box)), state_(std::make_unique<State>()) {}

SystemPlatform::~SystemPlatform() = default;

// Windows matches names itself: there is nothing to learn between walks.
void SystemPlatform::BeginWalk() {}
void SystemPlatform::EndWalk() {}

// Each call asks Windows afresh: nothing is kept from pair to pair.
void SystemPlatform::BeginPair(std::size_t, const std::string&, const std::string&) {}

std::string SystemPlatform::FindFile(const std::string& path) {
  // A directory search would take '*' and '?' as patterns and then the
  // rename would be asked to move a path that does not exist.
  return Testable(path) ? NormalFileName(path) : std::string();
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
