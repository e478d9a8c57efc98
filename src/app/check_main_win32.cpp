// brennel-check on Windows, a console program: arguments come as UTF-16,
// output goes to the console as UTF-16 and elsewhere (a file, a pipe) as
// UTF-8.

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "check.h"
#include "wide_text.h"

namespace {

bool IsConsole(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) != 0;
}

void Write(DWORD which, const std::string& text) {
  if (text.empty()) return;
  const HANDLE handle = GetStdHandle(which);
  DWORD written = 0;
  if (IsConsole(handle)) {
    const std::wstring wide = tavrik::Widen(text);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

// Colours need a console that takes ANSI sequences (Windows 10 and later).
bool ConsoleTakesColours() {
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  return GetConsoleMode(handle, &mode) &&
         SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(tavrik::Narrow(argv[i]));
  tavrik::CheckConsole console;
  console.terminal = ConsoleTakesColours();
  const wchar_t* no_color = _wgetenv(L"NO_COLOR");
  console.no_colour = no_color != nullptr && no_color[0] != L'\0';
  console.enter = [](const std::string& folder) -> std::string {
    if (SetCurrentDirectoryW(tavrik::Widen(folder).c_str())) return "";
    const DWORD number = GetLastError();
    return number == ERROR_FILE_NOT_FOUND || number == ERROR_PATH_NOT_FOUND ||
                   number == ERROR_DIRECTORY
               ? "no such folder"
               : "Windows error " + std::to_string(number);
  };
  console.here = [] {
    std::wstring path(GetCurrentDirectoryW(0, nullptr), L'\0');
    path.resize(GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data()));
    return tavrik::Narrow(path);
  };
  const int status = tavrik::RunCheck(arguments, console, *tavrik::MakeDryRun());
  Write(STD_OUTPUT_HANDLE, console.out);
  Write(STD_ERROR_HANDLE, console.err);
  return status;
}
