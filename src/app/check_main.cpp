// brennel-check on Linux: arguments and output as bytes (UTF-8).

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "check.h"

int main(int argc, char* argv[]) {
  tavrik::CheckConsole console;
  console.terminal = isatty(STDOUT_FILENO) == 1;
  const char* no_color = std::getenv("NO_COLOR");
  console.no_colour = no_color != nullptr && no_color[0] != '\0';
  console.enter = [](const std::string& folder) -> std::string {
    return chdir(folder.c_str()) == 0 ? "" : strerror(errno);
  };
  console.here = [] {
    char path[PATH_MAX];
    return std::string(getcwd(path, sizeof path) != nullptr ? path : ".");
  };
  const int status = tavrik::RunCheck({argv + 1, argv + argc}, console, *tavrik::MakeDryRun());
  std::fwrite(console.out.data(), 1, console.out.size(), stdout);
  std::fwrite(console.err.data(), 1, console.err.size(), stderr);
  return status;
}
