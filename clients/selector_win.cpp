#include "clients/selector_win.h"

#include "app/settings.h"

CSelectorWin::CSelectorWin() = default;

CSelectorWin::~CSelectorWin() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

bool CSelectorWin::Create(HWND openerWindow) {
    // no width until it has cells to show
    if (!createWindow(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE,
                      settings.switcherX, settings.switcherY, 0, stripHeight))
        return false;
    opener = openerWindow;
    return true;
}

void CSelectorWin::ApplySettings() {}

LRESULT CSelectorWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}
