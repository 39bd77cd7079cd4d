// The value types the window and control classes share: colours in the original platform's
// encoding, alignment, scroll bars, borders, start positions, close actions, screen cursors and
// font styles. Plain values; no thread restrictions.
#pragma once

#include <QColor>
#include <cstdint>

// A colour as blue * 65536 + green * 256 + red, or one of the system colours below (the high
// byte set, the low byte naming the system colour).
using TColor = std::int32_t;

inline constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;

// Builds a colour from its red, green and blue parts (each 0..255).
constexpr TColor RGBToColor(int red, int green, int blue) {
  return static_cast<TColor>((blue & 0xFF) << 16 | (green & 0xFF) << 8 | (red & 0xFF));
}

// True for the system colours (their value depends on the desktop's palette).
constexpr bool IsSystemColor(TColor color) { return (color & clSystemColor) == clSystemColor; }

// The colour as Qt draws it: system colours come from the application's palette, so they
// follow the desktop theme. REQUIRES: a QGuiApplication for system colours.
QColor ColorToQColor(TColor color);

// Placement of a control inside its parent's client area.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Scroll bars of a multi-line text control.
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// Border of a window: none, single and fixed (not resizable), or sizeable.
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable };

// The buttons in a window's title bar.
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };
using TBorderIcons = unsigned;

// Where a window appears when it is first shown.
enum TPosition { poDesigned, poScreenCenter };

// What happens to a window that is asked to close.
enum TCloseAction { caNone, caHide, caFree, caMinimize };

// Outer bevel of a panel.
enum TPanelBevel { bvNone, bvLowered, bvRaised };

// Screen cursors (the values of the original platform's cursor constants).
enum TCursor : int { crDefault = 0, crArrow = -2, crHourGlass = -11 };

// Font styles, combined as a bit set.
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;
