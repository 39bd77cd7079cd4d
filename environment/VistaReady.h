// Window appearance: windows are designed with a fixed font and adopt, at run time, the font
// the desktop uses for icon titles. CaptureDesktopFont records that font once at start-up;
// each window calls AdjustWindow from its creation handler, before it is first shown.
// Text in one of the two heading colours keeps its designed size. Process-wide state, used on
// the user-interface thread only.
#pragma once

#include <QString>

#include "runtime/ui/types.h"

class TControl;
class TForm;

// The two heading colours (blue * 65536 + green * 256 + red): red 0, green 51, blue 153 and
// red 54, green 95, blue 145. Non-windowed controls in these colours turn bold in the second
// one unless the desktop font is "Segoe UI".
inline constexpr TColor kHeadingColor = 10040064;
inline constexpr TColor kHeadingColorBold = 9527094;

// Initialisation: clears the scaled-window flag, sets the new-platform flag and records the
// name and size (points) of the desktop's icon-title font (or of the override below).
// REQUIRES: a QGuiApplication (the platform theme knows the font).
void CaptureDesktopFont();

// Finalisation: forgets the desktop font name.
void ReleaseDesktopFont();

// Makes CaptureDesktopFont record this font instead of the desktop's (tests, screenshots).
void SetDesktopFontOverride(const QString& name, int points);
void ClearDesktopFontOverride();

// The recorded desktop font (empty name and size 0 before capture or after release).
QString DesktopFontName();
int DesktopFontSize();

// True when the platform's major version is 6 or higher. On hosts that report no such
// version (every desktop this system runs on besides the original platform), the desktop
// provides theme fonts as version 6 did, so the flag is true.
bool NewPlatform();

// Whether the last window adjusted reported a resolution different from the screen's.
bool ScaledWindow();

// Adjusts a window and every control in it; then records whether the window's resolution
// differs from the screen's.
void AdjustWindow(TForm* window);

// Adjusts one control and, for controls that contain others, everything inside it (in the
// order of each child list). Controls that take their font from their parent are not changed
// directly: they follow the parent.
void AdjustControl(TControl* control);
