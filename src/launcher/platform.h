#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "byte_source.h"
#include "error_condition.h"

namespace tavrik {

/// What the launcher needs of the system it runs on. Implementations live in
/// src/platform/ (files) and src/window/ (the message box); tests supply
/// their own.
class Platform {
 public:
  virtual ~Platform() = default;

  /// A walk is starting. What the platform learnt of the disk during an
  /// earlier walk may be stale now.
  virtual void BeginWalk() {}
  /// The walk has ended, normally or by an error: what the platform holds
  /// for it (open folders) may go.
  virtual void EndWalk() {}

  /// Pair `pair` (from 1) is next: its `source` is tested, and moved to
  /// `target` when it is there. A walk that stops stops at the last pair it
  /// announced. What the platform keeps of the disk may be looked at again.
  virtual void BeginPair(std::size_t pair, const std::string& source, const std::string& target) {
    static_cast<void>(pair);
    static_cast<void>(source);
    static_cast<void>(target);
  }

  /// The presence test: the name of the normal file at `path`, or the empty
  /// string when there is none (nothing there, a directory, a hidden or
  /// system file). Throws Error when the search itself fails.
  virtual std::string FindFile(const std::string& path) = 0;

  /// Moves `source` to `target`, never replacing an existing file. Throws
  /// Error, naming both paths, when the file system refuses.
  virtual void RenameFile(const std::string& source, const std::string& target) = 0;

  /// A modal box with `text`, the application title and one OK button; it
  /// returns when the user closes it.
  virtual void ShowMessage(const std::string& text) = 0;

  /// Opens the list file `name` of the working directory for reading. Throws
  /// Error when there is none or it is not a regular file (a folder, a pipe,
  /// a device), so that reading cannot wait for a writer.
  virtual std::unique_ptr<ByteSource> OpenListFile(const std::string& name) = 0;

  /// Reads list-file bytes that are not UTF-8 in the system's 8-bit code page.
  virtual std::string DecodeLegacyText(std::string_view bytes);
};

}  // namespace tavrik
