#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "text_encoding.h"

namespace tavrik {

namespace {

// fread reports how much it read before a failure; each call's count is
// what the reader keeps.
class StdioFile : public ByteSource {
 public:
  StdioFile(std::FILE* file, std::string name, std::uint64_t size)
      : file_(file), name_(std::move(name)), size_(size) {}
  ~StdioFile() override { std::fclose(file_); }
  StdioFile(const StdioFile&) = delete;
  StdioFile& operator=(const StdioFile&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override {
    errno = 0;
    const std::size_t got = std::fread(buffer, 1, size, file_);
    if (got == 0 && std::ferror(file_)) throw FileError(errno, "Cannot read", name_);
    return got;
  }
  std::uint64_t SizeHint() const override { return size_; }

 private:
  std::FILE* file_;
  std::string name_;
  std::uint64_t size_;
};

}  // namespace

std::unique_ptr<ByteSource> Platform::OpenListFile(const std::string& name) {
  const std::filesystem::path path(
      std::u8string_view(reinterpret_cast<const char8_t*>(name.data()), name.size()));
  // Checked before opening: opening a pipe would wait for a writer.
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) throw FileError(error.value(), "Cannot open", name);
  if (status.type() == std::filesystem::file_type::directory) {
    throw FileError(EISDIR, "Cannot open", name);
  }
  if (status.type() != std::filesystem::file_type::regular) {
    throw Error(EINVAL, "Cannot open " + Quoted(name) + ": not a regular file");
  }
  errno = 0;
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) throw FileError(errno, "Cannot open", name);
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return std::make_unique<StdioFile>(file, name, error ? 0 : size);
}

std::string Platform::DecodeLegacyText(std::string_view bytes) { return DecodeWindows1252(bytes); }

}  // namespace tavrik
