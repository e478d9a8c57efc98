#pragma once

// The launcher window as both of its variants show it: launcher_window_qt.h
// on Linux, launcher_window_win32.h on Windows. Plain data and one plain
// function, so each variant takes its texts, layout and error report from
// here.

#include <exception>
#include <new>
#include <optional>

#include "error_condition.h"

namespace tavrik {

/// The title of every message box the program shows. Its name is the
/// product's own, as are Brennel and colInputA; the other constants follow
/// the k scheme.
inline constexpr char ApplicationTitle[] = "Brennel";
inline constexpr char kApplicationVersion[] = "1.00";
inline constexpr char kWindowCaption[] = "Tavrik Brennel";

/// The process's exit status after the top-level error report, and when
/// no window can be shown; closing the window exits with 0.
inline constexpr int kExitAfterError = 1;

/// The numbers the error report gives failures that are not the walk's own
/// Error: "Out of memory", and any other exception ("Internal error").
inline constexpr std::int64_t kOutOfMemory = 7;
inline constexpr std::int64_t kInternalError = 51;

/// Runs `handler` (a click handler) and returns what left it for the error
/// report: its Error, or one made from any other exception, which must not
/// unwind through the window system's event loop.
template <typename Handler>
std::optional<Error> ErrorLeaving(Handler&& handler) {
  try {
    handler();
  } catch (const Error& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return Error(kOutOfMemory, "Out of memory");
  } catch (const std::exception& error) {
    return Error(kInternalError, error.what());
  }
  return std::nullopt;
}

/// Lengths in twips (1/1440 inch): 15 twips make one pixel at 96 DPI, and
/// the layout scales with the screen's resolution.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidthTwips = 3435;
inline constexpr int kClientHeightTwips = 1125;

/// A push button: its control name, caption and place in the client area.
struct ButtonLayout {
  const char* name;
  const char* caption;
  int left, top, width, height;  // twips from the client area's top-left corner
};

/// In tab order: "Activate" first.
inline constexpr ButtonLayout kCommand3{"Command3", "Activate", 120, 120, 975, 375};
inline constexpr ButtonLayout kCommand4{"Command4", "Deactivate", 120, 600, 975, 375};

}  // namespace tavrik
