#include "app/tray_win.h"

#include "app/messages.h"
#include "clients/client_pass.h"

CTrayWin::CTrayWin() = default;

CTrayWin::~CTrayWin() {
    // passes still running are left to finish on their own
    setClientsThread.reset();
    restoreThread.reset();
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

LRESULT CTrayWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case UM_COMMAND:
        OnCommand(wParam);
        return 0;
    default:
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}

void CTrayWin::OnCommand(WPARAM command) {
    switch (command) {
    case cmdSetClients:
        startClientPass(setClientsThread, fitPass);
        break;
    case cmdRestore:
        startClientPass(restoreThread, restorePass);
        break;
    case cmdExit:
        PostQuitMessage(0);
        break;
    default:
        break;
    }
}
