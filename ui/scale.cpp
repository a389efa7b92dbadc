#include "ui/scale.h"

#include "ui/handles.h"
#include "ui/user32.h"

Scale Scale::ofWindow(HWND window) {
    if (windowDpi && window) {
        if (const UINT dpi = windowDpi(window)) return {dpi};
    }
    return ofScreen();
}

Scale Scale::ofScreen() {
    WindowDC screen(nullptr);
    const HDC dc = screen;
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    return {dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI};
}

Scale Scale::ofMonitor(HMONITOR monitor) {
    UINT dpiX = 0, dpiY = 0;
    if (monitorDpi && monitor && SUCCEEDED(monitorDpi(monitor, MDT_EFFECTIVE_DPI, &dpiX, &dpiY)) &&
        dpiY)
        return {dpiY};
    return ofScreen();
}

void frameLines(HDC dc, const RECT& rect, HBRUSH brush, int thickness) {
    const RECT sides[] = {
        {rect.left, rect.top, rect.right, rect.top + thickness},
        {rect.left, rect.bottom - thickness, rect.right, rect.bottom},
        {rect.left, rect.top + thickness, rect.left + thickness, rect.bottom - thickness},
        {rect.right - thickness, rect.top + thickness, rect.right, rect.bottom - thickness},
    };
    for (const RECT& side : sides)
        if (side.right > side.left && side.bottom > side.top) FillRect(dc, &side, brush);
}
