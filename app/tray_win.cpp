#include "app/tray_win.h"

#include <cwchar>

#include "app/globals.h"
#include "app/messages.h"
#include "app/settings.h"
#include "clients/client_pass.h"
#include "clients/game_client.h"
#include "dialogs/config_win.h"
#include "dialogs/version_win.h"
#include "res/resource.h"

const TrayMenuEntry trayMenuEntries[6] = {
    {L"Open client", cmdOpenClient}, {L"Set clients", cmdSetClients}, {L"Restore", cmdRestore},
    {L"Configure", cmdConfigure},    {L"Version", cmdVersion},        {L"Exit Skarvel", cmdExit},
};

CTrayWin::CTrayWin()
    : iconData{}, hIcon(static_cast<HICON>(
                      LoadImageW(hInstance, MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, 0, 0, 0))),
      // Explorer broadcasts this when it (re)creates the taskbar
      taskbarCreatedMessage(RegisterWindowMessageW(L"TaskbarCreated")) {
    loadSettings();
    switcher.configDialog = configWindow;
    switcher.versionDialog = versionWindow;
    const int count = static_cast<int>(std::size(trayMenuEntries));
    for (int i = 0; i < count; ++i)
        menu.AppendItem(trayMenuEntries[i].text, trayMenuEntries[i].command, i == count - 1);
}

CTrayWin::~CTrayWin() {
    // passes still running are left to finish on their own
    setClientsThread.reset();
    restoreThread.reset();
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    hIcon.reset();
    // then the members: the menu, the switcher; then the base teardown
}

LRESULT CTrayWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_DESTROY:
        if (iconAdded) {
            iconData.uFlags = 0;
            Shell_NotifyIconW(NIM_DELETE, &iconData);
            iconAdded = 0;
        }
        return 0;
    case UM_COMMAND:
        OnCommand(wParam);
        return 0;
    case UM_TRAYNOTIFY:
        OnTrayNotify(wParam, lParam);
        return 0;
    case UM_SETTINGSCHANGED:
        OnSettingsChanged();
        return 0;
    default:
        if (msg == taskbarCreatedMessage && msg != 0) {
            AddIcon();
            return 0;
        }
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}

void CTrayWin::OnCreate() {
    // an elevated copy would not hear a non-elevated Explorer otherwise
    ChangeWindowMessageFilterEx(hwnd, taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
    AddIcon();
    if (settings.showSwitcher) switcher.Create(hwnd);
    if (menu.createWindow(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WS_POPUP, 0, 0,
                          menuItemHeight, menuItemHeight))
        menu.opener = hwnd;
}

void CTrayWin::AddIcon() {
    iconData = {};
    // the layout that ends with dwInfoFlags, in this build's own pointer size
    iconData.cbSize = NOTIFYICONDATAW_V2_SIZE;
    iconData.hWnd = hwnd;
    iconData.uID = 0;
    iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    iconData.uCallbackMessage = UM_TRAYNOTIFY;
    iconData.hIcon = hIcon.get();
    wcsncpy_s(iconData.szTip, std::size(iconData.szTip), L"Skarvel", _TRUNCATE);
    iconAdded = Shell_NotifyIconW(NIM_ADD, &iconData) ? 1 : 0;
}

void CTrayWin::OnTrayNotify(WPARAM id, LPARAM event) {
    if (id != iconData.uID) return;
    const UINT mouse = LOWORD(event);
    if (mouse != WM_LBUTTONUP && mouse != WM_RBUTTONUP) return;
    POINT cursor{};
    GetCursorPos(&cursor);
    menu.ShowAt(cursor.x, cursor.y);
}

void CTrayWin::OnSettingsChanged() {
    // a strip turned off is hidden, not destroyed, and shown again by the same call
    if (IsWindow(switcher.hwnd))
        switcher.ApplySettings();
    else if (settings.showSwitcher)
        switcher.Create(hwnd);
}

void CTrayWin::OnCommand(WPARAM command) {
    switch (command) {
    case cmdSetClients:
        startClientPass(setClientsThread, fitPass);
        break;
    case cmdRestore:
        startClientPass(restoreThread, restorePass);
        break;
    case cmdOpenClient:
        openClient(settings.clientPath);
        break;
    case cmdConfigure:
        if (configWindow && !IsWindow(configWindow->hwnd)) configWindow->Create(hwnd);
        break;
    case cmdVersion:
        if (versionWindow && !IsWindow(versionWindow->hwnd)) versionWindow->Create(hwnd);
        break;
    case cmdExit:
        PostQuitMessage(0);
        break;
    default: // 3 and 4 belong to the switcher's menu
        break;
    }
}
