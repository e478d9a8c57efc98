#pragma once

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "byte_source.h"
#include "error_condition.h"

// A list file opened and read with the C library, for the test doubles of
// the platform: the real platforms read with the system's own calls.
class LibraryListFile : public tavrik::ByteSource {
 public:
  /// Opens `name` when it is a regular file; throws tavrik::Error otherwise.
  static std::unique_ptr<tavrik::ByteSource> Open(const std::string& name) {
    const std::filesystem::path path(
        std::u8string_view(reinterpret_cast<const char8_t*>(name.data()), name.size()));
    // Checked before opening: opening a pipe would wait for a writer.
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error) throw tavrik::FileError(error.value(), "Cannot open", name);
    if (status.type() == std::filesystem::file_type::directory) {
      throw tavrik::FileError(EISDIR, "Cannot open", name);
    }
    if (status.type() != std::filesystem::file_type::regular) {
      throw tavrik::Error(EINVAL, "Cannot open " + tavrik::Quoted(name) + ": not a regular file");
    }
    errno = 0;
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) throw tavrik::FileError(errno, "Cannot open", name);
    return std::unique_ptr<tavrik::ByteSource>(new LibraryListFile(file, name));
  }

  ~LibraryListFile() override { std::fclose(file_); }
  LibraryListFile(const LibraryListFile&) = delete;
  LibraryListFile& operator=(const LibraryListFile&) = delete;

  // fread says how much it read before a failure.
  std::size_t Read(char* buffer, std::size_t size) override {
    errno = 0;
    const std::size_t got = std::fread(buffer, 1, size, file_);
    if (got == 0 && std::ferror(file_)) throw tavrik::FileError(errno, "Cannot read", name_);
    return got;
  }

 private:
  LibraryListFile(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}

  std::FILE* file_;
  std::string name_;
};
