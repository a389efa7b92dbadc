#include "core/scale.h"

#include <shellscalingapi.h>

#include "core/handles.h"
#include "core/user32.h"

namespace {

using MonitorDpiFn = HRESULT(WINAPI*)(HMONITOR, MONITOR_DPI_TYPE, UINT*, UINT*);

// Windows 8.1 and later, from the system folder only; the library stays loaded for the run.
MonitorDpiFn monitorDpiFunction() {
    static const MonitorDpiFn function = [] {
        const HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return shcore ? reinterpret_cast<MonitorDpiFn>(reinterpret_cast<void (*)()>(
                            GetProcAddress(shcore, "GetDpiForMonitor")))
                      : nullptr;
    }();
    return function;
}
// Looked up at start-up with the other run-time functions, so no first call later adds a
// library and its handles; through the function, so a caller from another file's start-up
// finds it too.
[[maybe_unused]] const MonitorDpiFn lookedUpAtStart = monitorDpiFunction();

} // namespace

Scale Scale::ofWindow(HWND window) {
    if (!window) return ofScreen();
    if (windowDpi) {
        if (const UINT dpi = windowDpi(window)) return {dpi};
    }
    // the system's DPI is that of the primary monitor at logon: wrong on any other monitor
    return ofMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

Scale Scale::ofMonitor(HMONITOR monitor) {
    UINT dpiX = 0, dpiY = 0;
    if (const MonitorDpiFn monitorDpi = monitorDpiFunction();
        monitor && monitorDpi && SUCCEEDED(monitorDpi(monitor, MDT_EFFECTIVE_DPI, &dpiX, &dpiY)) &&
        dpiY)
        return {dpiY};
    return ofScreen();
}

Scale Scale::ofScreen() {
    WindowDC screen(nullptr);
    const HDC dc = screen;
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    return {dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI};
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
