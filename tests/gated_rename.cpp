// Preloaded into the program by the long-walk window test, so that it can
// act while a walk provably runs. While the file named by BRENNEL_TEST_GATE
// exists, every rename first waits 20 ms, and the rename of a file named
// "last" waits until the file is gone. Each rename's source name is
// appended, a line each, to the file named by BRENNEL_TEST_RENAME_LOG.

#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Exists(const char* path) { return path != nullptr && access(path, F_OK) == 0; }

void Pause(long milliseconds) {
  const timespec time{0, milliseconds * 1000000L};
  nanosleep(&time, nullptr);
}

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

void Log(const char* source) {
  const char* log = std::getenv("BRENNEL_TEST_RENAME_LOG");
  if (log == nullptr) return;
  const int file = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (file < 0) return;
  const std::string line = std::string(BaseName(source)) + '\n';
  static_cast<void>(write(file, line.data(), line.size()));
  close(file);
}

}  // namespace

extern "C" int renameat2(int from_folder, const char* from, int to_folder, const char* to,
                         unsigned int flags) {
  using Rename = int (*)(int, const char*, int, const char*, unsigned int);
  static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "renameat2"));
  const char* gate = std::getenv("BRENNEL_TEST_GATE");
  if (Exists(gate)) {
    Pause(20);
    while (std::strcmp(BaseName(from), "last") == 0 && Exists(gate)) Pause(10);
  }
  const int result = real(from_folder, from, to_folder, to, flags);
  if (result == 0) Log(from);
  return result;
}
