#include "ui/window.h"

#include <algorithm>

#include "core/globals.h"

namespace {

long long overlapArea(const RECT& a, const RECT& b) {
    const long long width = std::min(a.right, b.right) - std::max(a.left, b.left);
    const long long height = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return width > 0 && height > 0 ? width * height : 0;
}

long long gapSquared(const RECT& a, const RECT& b) {
    const long long dx = std::max({0L, b.left - a.right, a.left - b.right});
    const long long dy = std::max({0L, b.top - a.bottom, a.top - b.bottom});
    return dx * dx + dy * dy;
}

BOOL CALLBACK collectWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(monitor, &info))
        reinterpret_cast<std::vector<RECT>*>(list)->push_back(info.rcWork);
    return TRUE;
}

} // namespace

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

POINT onScreenPosition(const RECT& window, const std::vector<RECT>& workAreas) {
    const POINT at{window.left, window.top};
    if (workAreas.empty()) return at;
    const LONG width = std::max(1L, window.right - window.left);
    const LONG height = std::max(1L, window.bottom - window.top);
    const RECT probe{at.x, at.y, at.x + width, at.y + height};

    long long shown = 0, best = -1;
    const RECT* nearest = nullptr;
    for (const RECT& work : workAreas) {
        const long long overlap = overlapArea(probe, work);
        shown += overlap;
        if (overlap > best ||
            (overlap == best && gapSquared(probe, work) < gapSquared(probe, *nearest))) {
            nearest = &work;
            best = overlap;
        }
    }
    if (shown >= static_cast<long long>(width) * height) return at;
    return {std::max(nearest->left, std::min(at.x, nearest->right - width)),
            std::max(nearest->top, std::min(at.y, nearest->bottom - height))};
}

std::vector<RECT> monitorWorkAreas() {
    std::vector<RECT> areas;
    EnumDisplayMonitors(nullptr, nullptr, collectWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

void centre(HWND hwnd, HWND opener) {
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
        HMONITOR monitor = nullptr;
        if (reference) {
            monitor = MonitorFromWindow(reference, MONITOR_DEFAULTTONEAREST);
        } else if (IsWindow(opener) && IsWindowVisible(opener)) {
            monitor = MonitorFromWindow(opener, MONITOR_DEFAULTTONEAREST);
        } else {
            POINT pointer{};
            GetCursorPos(&pointer);
            monitor = MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST);
        }
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
