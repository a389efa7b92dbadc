// The one dark look every visible window shares: palette, fonts, smoothed text, painting.
#pragma once
#include <windows.h>

#include <functional>

#include "core/handles.h"
#include "core/scale.h"

inline constexpr COLORREF backColor = RGB(40, 40, 40);
inline constexpr COLORREF accentColor = RGB(85, 85, 85);
inline constexpr COLORREF textColor = RGB(200, 200, 200);
inline constexpr COLORREF shadowColor = RGB(0, 0, 0);
inline constexpr COLORREF linkColor = RGB(255, 165, 0);

// Font heights at 96 DPI. Text is drawn at five times its size and shrunk, so the 57 px font
// lands ~11 px high.
inline constexpr int textFontHeight = 57;
inline constexpr int measureFontHeight = 14;
inline constexpr int editFontHeight = 15;
inline constexpr int textScale = 5;

// The narrow faces the look is drawn in, best first: the one it was designed with, which
// comes with Office, then the narrow widths of the face that Windows 10 and 11 ship.
inline constexpr const wchar_t* narrowFaces[] = {L"Arial Narrow", L"Bahnschrift SemiCondensed",
                                                 L"Bahnschrift Condensed"};
// The first narrow face that `installed` finds; nullptr when there is none.
const wchar_t* firstInstalledFace(const std::function<bool(const wchar_t*)>& installed);
// Whether the system enumerates a font family of this name.
bool faceInstalled(const wchar_t* face);

// The look's font: the first installed narrow face (variable pitch, Swiss family, default
// quality), or with none of them Arial squeezed to Arial Narrow's proportions, never wider.
Font createUiFont(int height, int weight, bool underline = false);
// The same in a given face; nullptr gives the squeezed Arial.
Font createUiFontIn(const wchar_t* face, int height, int weight, bool underline);

// Draws `text` into `rect` less a one-line margin: rendered five times larger on an opaque
// `fillColor` ground (with a black shadow offset by 6 at 96 DPI when asked) and shrunk onto the
// target with the target's stretch mode. A null text draws nothing; an empty one fills the box.
// `workDC` is a memory DC the caller keeps between calls; without one a DC is made per call.
// `scale` is the window's, whose font `font` is.
void DrawSmoothText(HDC targetDC, const wchar_t* text, COLORREF glyphColor, COLORREF fillColor,
                    HFONT font, RECT rect, UINT format, bool withShadow, HDC workDC = nullptr,
                    Scale scale = {});

// WM_PAINT of every visible window: one block copy of the back buffer, nothing else.
void paintBackBuffer(HWND hwnd, HBITMAP backBuffer, HDC keptDC = nullptr);

// The program's pointer cursor (resource 101).
void setPointerCursor(HINSTANCE instance);
