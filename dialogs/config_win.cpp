#include "dialogs/config_win.h"

CConfigWin::CConfigWin() = default;

CConfigWin::~CConfigWin() = default;

LRESULT CConfigWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, msg, wParam, lParam);
}
