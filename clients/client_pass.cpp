#include "clients/client_pass.h"

#include <cstdint>
#include <process.h>

#include "clients/game_client.h"

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
        bounds = restoredBounds(monitor.rcWork, clientSize, GetSystemMetrics(SM_CXDLGFRAME),
                                GetSystemMetrics(SM_CYDLGFRAME), GetSystemMetrics(SM_CYCAPTION));
    }
    // SWP_NOZORDER: the client keeps its place in the z-order and does not become topmost
    SetWindowPos(hwnd, HWND_TOPMOST, bounds.left, bounds.top, bounds.right - bounds.left,
                 bounds.bottom - bounds.top, SWP_SHOWWINDOW | SWP_NOZORDER);
    return TRUE;
}
