#include "process_memory.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace bench {

namespace {

std::runtime_error SystemFailure(const std::string& what) {
  return std::runtime_error(what + ": " + std::generic_category().message(errno));
}

std::string ReadPipe(int fd) {
  std::string out;
  char chunk[4096];
  while (true) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got > 0) {
      out.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      return out;
    }
  }
}

}  // namespace

long StatusFieldKb(std::string_view status, std::string_view field) {
  std::size_t at = 0;
  while (at < status.size()) {
    const std::size_t end = std::min(status.find('\n', at), status.size());
    const std::string_view line = status.substr(at, end - at);
    at = end + 1;
    if (line.size() <= field.size() || line.substr(0, field.size()) != field ||
        line[field.size()] != ':') {
      continue;
    }
    std::string_view value = line.substr(field.size() + 1);
    value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
    long kb = -1;
    const auto result = std::from_chars(value.data(), value.data() + value.size(), kb);
    return result.ec == std::errc() ? kb : -1;
  }
  return -1;
}

long OwnStatusKb(std::string_view field) {
  std::ifstream in("/proc/self/status");
  const std::string status(std::istreambuf_iterator<char>(in), {});
  return StatusFieldKb(status, field);
}

std::string RunChild(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) throw SystemFailure("Cannot make a pipe");
  const pid_t pid = fork();
  if (pid < 0) throw SystemFailure("Cannot fork");
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  const std::string text = ReadPipe(out[0]);
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(argv[0] + " failed (status " + std::to_string(status) + "): " + text);
  }
  return text;
}

std::string OwnExecutable() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

}  // namespace bench
