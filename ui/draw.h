// The one dark look every visible window shares: palette, fonts, smoothed text, painting.
#pragma once
#include <windows.h>

#include "ui/handles.h"

inline constexpr COLORREF backColor = RGB(40, 40, 40);
inline constexpr COLORREF accentColor = RGB(85, 85, 85);
inline constexpr COLORREF textColor = RGB(200, 200, 200);
inline constexpr COLORREF shadowColor = RGB(0, 0, 0);
inline constexpr COLORREF linkColor = RGB(255, 165, 0);

// Text is drawn at five times its size and shrunk, so the 57 px font lands ~11 px high.
inline constexpr int textFontHeight = 57;
inline constexpr int measureFontHeight = 14;
inline constexpr int editFontHeight = 15;
inline constexpr int textScale = 5;

// "Arial Narrow", variable pitch, Swiss family, default quality.
Font createUiFont(int height, int weight, bool underline = false);

// Draws `text` into `rect` less a one-pixel margin: rendered five times larger on an opaque
// `fillColor` ground (with a black shadow offset by 6 when asked) and shrunk onto the target
// with the target's stretch mode. A null text draws nothing; an empty one fills the box.
// `workDC` is a memory DC the caller keeps between calls; without one a DC is made per call.
void DrawSmoothText(HDC targetDC, const wchar_t* text, COLORREF glyphColor, COLORREF fillColor,
                    HFONT font, RECT rect, UINT format, bool withShadow, HDC workDC = nullptr);

// WM_PAINT of every visible window: one block copy of the back buffer, nothing else.
void paintBackBuffer(HWND hwnd, HBITMAP backBuffer, HDC keptDC = nullptr);

// The program's pointer cursor (resource 101).
void setPointerCursor(HINSTANCE instance);
