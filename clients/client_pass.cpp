#include "clients/client_pass.h"

#include <cstdint>
#include <process.h>

#include "clients/game_client.h"
#include "ui/user32.h"

namespace {

// Newer user32 (Windows 10 1607 and later), looked up once at start; without it the restored
// frame comes from the system's one set of metrics, as before there was any other.
const auto dpiForWindow = user32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
const auto metricsForDpi = user32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");

int metric(int index, UINT dpi) {
    return dpi ? metricsForDpi(index, dpi) : GetSystemMetrics(index);
}

} // namespace

bool hasCaption(LONG style) {
    return (style & WS_CAPTION) == WS_CAPTION;
}

RECT fittedBounds(const RECT& workArea, SIZE clientSize) {
    return {workArea.left, workArea.top, workArea.left + clientSize.cx,
            workArea.top + clientSize.cy};
}

RECT restoredBounds(const RECT& workArea, SIZE clientSize, int frameX, int frameY, int caption) {
    return {workArea.left, workArea.top, workArea.left + clientSize.cx + 2 * frameX,
            workArea.top + clientSize.cy + 2 * frameY + caption};
}

bool restoreShowState(HWND hwnd) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(hwnd, &placement))
        return false; // gone: a zeroed record would collapse it
    placement.showCmd = SW_RESTORE;
    // Wine refuses another process's placement; the show state is what matters here
    if (!SetWindowPlacement(hwnd, &placement)) ShowWindow(hwnd, SW_RESTORE);
    return true;
}

void startClientPass(KernelHandle& pass, int mode) {
    void* arg = reinterpret_cast<void*>(static_cast<intptr_t>(mode));
    pass.reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, clientPassThread, arg, 0, nullptr)));
}

unsigned __stdcall clientPassThread(void* mode) {
    // physical pixels for this thread only; the program's own windows stay as they are.
    // Version 2 came with Windows 10 1703 and Wine 8 has none; the first one reads and writes
    // physical pixels alike.
    if (setThreadDpiAwareness && !setThreadDpiAwareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2))
        setThreadDpiAwareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
    EnumWindows(clientWindowVisitor, reinterpret_cast<LPARAM>(mode));
    return 0;
}

// Stack buffers only and no lock: an abandoned pass may hang on a client for as long
// as that client does without holding anything the program needs.
BOOL CALLBACK clientWindowVisitor(HWND hwnd, LPARAM mode) {
    wchar_t className[classNameBufferSize];
    if (!GetClassNameW(hwnd, className, classNameBufferSize) || !isClientClass(className))
        return TRUE;
    if (!IsWindow(hwnd)) return TRUE;

    // Every client in its own awareness: a DPI-unaware one in the 96-DPI pixels it renders
    // at, an aware one in physical pixels, so no size is scaled and rounded on its way.
    const AwarenessOfWindow asTheClient(hwnd);

    // un-minimise or un-maximise first, so the sizes below are the normal ones
    if (!restoreShowState(hwnd)) return TRUE;

    RECT client{};
    if (!GetClientRect(hwnd, &client)) return TRUE;
    const SIZE clientSize{client.right, client.bottom};

    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);

    const bool captioned = hasCaption(GetWindowLongW(hwnd, GWL_STYLE));
    RECT bounds{};
    if (mode == fitPass) {
        if (!captioned) return TRUE;
        SetWindowLongW(hwnd, GWL_STYLE, fittedStyle);
        SetWindowLongW(hwnd, GWL_EXSTYLE, fittedExStyle);
        bounds = fittedBounds(monitor.rcWork, clientSize);
    } else {
        if (captioned) return TRUE;
        SetWindowLongW(hwnd, GWL_STYLE, restoredStyle);
        SetWindowLongW(hwnd, GWL_EXSTYLE, restoredExStyle);
        // the frame the client will draw: at its own DPI, which may not be the program's
        const UINT dpi = dpiForWindow && metricsForDpi ? dpiForWindow(hwnd) : 0;
        bounds = restoredBounds(monitor.rcWork, clientSize, metric(SM_CXDLGFRAME, dpi),
                                metric(SM_CYDLGFRAME, dpi), metric(SM_CYCAPTION, dpi));
    }
    // SWP_NOZORDER: the client keeps its place in the z-order and does not become topmost
    SetWindowPos(hwnd, HWND_TOPMOST, bounds.left, bounds.top, bounds.right - bounds.left,
                 bounds.bottom - bounds.top, SWP_SHOWWINDOW | SWP_NOZORDER);
    return TRUE;
}
