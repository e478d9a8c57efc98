#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform.h"

namespace tavrik {

/// The launcher's platform on the real system: the file operations of the
/// operating system (system_platform_posix.cpp or system_platform_win32.cpp)
/// and a message box supplied by the window.
class SystemPlatform : public Platform {
 public:
  using MessageBox = std::function<void(const std::string& text)>;

  explicit SystemPlatform(MessageBox message_box);
  ~SystemPlatform() override;

  void BeginWalk() override;
  void EndWalk() override;
  void BeginPair(std::size_t pair, const std::string& source, const std::string& target) override;
  std::string FindFile(const std::string& path) override;
  void RenameFile(const std::string& source, const std::string& target) override;
  void ShowMessage(const std::string& text) override {
    if (message_box_) message_box_(text);
  }
  /// The system's own open and read (system_platform_posix.cpp, list_file_win32.cpp).
  std::unique_ptr<ByteSource> OpenListFile(const std::string& name) override;
  std::string DecodeLegacyText(std::string_view bytes) override;

 private:
  struct State;  // what one system's file operations keep between calls
  MessageBox message_box_;
  std::unique_ptr<State> state_;
};

}  // namespace tavrik
