#include "dialogs/config_win.h"

CConfigWin::CConfigWin() = default;

CConfigWin::~CConfigWin() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

bool CConfigWin::Create(HWND openerWindow) {
    opener = openerWindow;
    return false;
}

LRESULT CConfigWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, msg, wParam, lParam);
}
