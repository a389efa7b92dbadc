#include "dialogs/version_win.h"

CVersionWin::CVersionWin() = default;

CVersionWin::~CVersionWin() = default;

LRESULT CVersionWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, msg, wParam, lParam);
}
