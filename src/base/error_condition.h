#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>

namespace tavrik {

/// The one error condition of the program: a number and a description.
/// It unwinds from where a failure happens to the nearest handler that
/// takes it (a loader, or the window's top-level report).
class Error : public std::exception {
 public:
  Error(std::int64_t number, std::string description)
      : number_(number), description_(std::move(description)) {}

  std::int64_t Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::int64_t number_;
  std::string description_;
};

/// Numbers of the conditions the program raises itself. Failures of the
/// operating system carry the system's own number (errno, GetLastError).
namespace error_number {
inline constexpr std::int64_t kOverflow = 6;
inline constexpr std::int64_t kOutOfMemory = 7;
}  // namespace error_number

/// `path` in single quotes, as error descriptions name paths.
inline std::string Quoted(std::string_view path) {
  std::string quoted;
  quoted.reserve(path.size() + 2);
  quoted += '\'';
  quoted += path;
  quoted += '\'';
  return quoted;
}

/// The C library's text for errno `number`.
inline std::string SystemReason(int number) { return std::generic_category().message(number); }

/// "`what` 'path': " and the C library's text for errno `number`.
inline Error FileError(int number, std::string_view what, std::string_view path) {
  return Error(number, std::string(what) + " " + Quoted(path) + ": " + SystemReason(number));
}

/// An Error that carries only the system's reason, for a caller that adds
/// what was being done.
inline Error SystemFailure(int number) { return Error(number, SystemReason(number)); }

}  // namespace tavrik
