#include "ui/window.h"

#include "app/globals.h"

CWindow::CWindow() : hInstance(moduleInstance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &CWindow::windowProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = windowClassName;
    // fails harmlessly once the class exists
    RegisterClassExW(&wc);
}

CWindow::~CWindow() {
    if (IsWindow(hwnd)) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
    }
    hwnd = nullptr;
}

HWND CWindow::createWindow(DWORD exStyle, DWORD style, int x, int y, int width, int height) {
    return CreateWindowExW(exStyle, windowClassName, L"", style, x, y, width, height, nullptr,
                           nullptr, hInstance, static_cast<CWindow*>(this));
}

LRESULT CALLBACK CWindow::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCCREATE) self->hwnd = hwnd;
    const LRESULT result = self->handle(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY && self->hwnd == hwnd) {
        // the handle value may be reused by a later window
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd = nullptr;
    }
    return result;
}

POINT centredPosition(SIZE window, const RECT& reference, const RECT& area) {
    POINT at{(reference.left + reference.right) / 2 - window.cx / 2,
             (reference.top + reference.bottom) / 2 - window.cy / 2};
    if (at.y + window.cy > area.bottom) at.y = area.bottom - window.cy;
    if (at.y < area.top) at.y = area.top;
    return at;
}

void centre(HWND hwnd) {
    if (!IsWindow(hwnd)) return;
    const bool child = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) != 0;
    const HWND reference = child ? GetParent(hwnd) : GetWindow(hwnd, GW_OWNER);

    RECT own{};
    GetWindowRect(hwnd, &own);
    const SIZE size{own.right - own.left, own.bottom - own.top};

    RECT area{}, referenceRect{};
    if (child) {
        const HWND parent = GetParent(hwnd);
        if (!IsWindow(parent)) return;
        GetClientRect(parent, &area);
        GetClientRect(reference, &referenceRect);
        MapWindowPoints(reference, parent, reinterpret_cast<POINT*>(&referenceRect), 2);
    } else {
        const HMONITOR monitor =
            MonitorFromWindow(reference ? reference : hwnd, MONITOR_DEFAULTTONEAREST);
        if (!monitor) return;
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        if (!GetMonitorInfoW(monitor, &info)) return;
        area = info.rcWork;
        if (reference)
            GetWindowRect(reference, &referenceRect);
        else
            referenceRect = area;
    }
    const POINT at = centredPosition(size, referenceRect, area);
    SetWindowPos(hwnd, nullptr, at.x, at.y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
