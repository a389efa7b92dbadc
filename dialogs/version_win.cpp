#include "dialogs/version_win.h"

CVersionWin::CVersionWin() = default;

CVersionWin::~CVersionWin() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

bool CVersionWin::Create(HWND openerWindow) {
    opener = openerWindow;
    return false;
}

LRESULT CVersionWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, msg, wParam, lParam);
}
