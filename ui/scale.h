// Every size of the look is given at 96 DPI; a Scale turns it into pixels at one window's DPI.
#pragma once
#include <windows.h>

#include <algorithm>

struct Scale {
    UINT dpi = USER_DEFAULT_SCREEN_DPI;

    // A length or a coordinate, rounded to the nearest pixel.
    int operator()(int px96) const { return MulDiv(px96, static_cast<int>(dpi), 96); }
    // The thickness of a line: rounded down, so lines stay crisp, and never less than a pixel.
    int line(int px96) const { return std::max(1, px96 * static_cast<int>(dpi) / 96); }
    RECT operator()(const RECT& r96) const {
        return {(*this)(r96.left), (*this)(r96.top), (*this)(r96.right), (*this)(r96.bottom)};
    }
    POINT operator()(POINT p96) const { return {(*this)(p96.x), (*this)(p96.y)}; }
    bool operator==(const Scale& other) const { return dpi == other.dpi; }
    bool operator!=(const Scale& other) const { return dpi != other.dpi; }

    // The window's own DPI; where the system cannot tell it, the screen's.
    static Scale ofWindow(HWND window);
    // The screen's DPI, for what is made before its window exists.
    static Scale ofScreen();
    // A monitor's own DPI; where the system cannot tell it, the screen's.
    static Scale ofMonitor(HMONITOR monitor);
};

// The DPI a WM_DPICHANGED carries (both halves of wParam are the same).
inline Scale scaleFromDpiChange(WPARAM wParam) {
    const UINT dpi = LOWORD(wParam);
    return {dpi ? dpi : USER_DEFAULT_SCREEN_DPI};
}

// A frame of `thickness` pixels along the inside of `rect`; 1 is FrameRect's frame.
void frameLines(HDC dc, const RECT& rect, HBRUSH brush, int thickness);
