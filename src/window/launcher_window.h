#pragma once

// The launcher window as both of its variants show it: launcher_window_qt.h
// on Linux, launcher_window_win32.h on Windows. Plain data, so each variant
// takes its texts and layout from here.

namespace tavrik {

/// The title of every message box the program shows. Its name is the
/// product's own, as are Brennel and colInputA; the other constants follow
/// the k scheme.
inline constexpr char ApplicationTitle[] = "Brennel";
inline constexpr char kApplicationVersion[] = "1.00";
inline constexpr char kWindowCaption[] = "Tavrik Brennel";

/// The process's exit status after the top-level error report; closing the
/// window exits with 0.
inline constexpr int kExitAfterError = 1;

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
