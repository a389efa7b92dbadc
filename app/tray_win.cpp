#include "app/tray_win.h"

#include <cwchar>

#include "app/globals.h"
#include "app/messages.h"
#include "app/settings.h"
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
    commands.configDialog = configWindow;
    commands.versionDialog = versionWindow;
    switcher.commands = &commands;
    const int count = static_cast<int>(std::size(trayMenuEntries));
    for (int i = 0; i < count; ++i)
        menu.AppendItem(trayMenuEntries[i].text, trayMenuEntries[i].command, i == count - 1);
}

CTrayWin::~CTrayWin() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    hIcon.reset();
    // then the members: the menu, the switcher, the commands (a pass still running stops
    // before its next window); then the base teardown
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
    const bool exists = IsWindow(switcher.hwnd) != FALSE;
    if (settings.showSwitcher) {
        if (!exists) {
            switcher.Create(hwnd);
        } else {
            switcher.ApplySettings();
            SetWindowPos(switcher.hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                         SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        }
    } else if (exists) {
        // hidden, not destroyed: it comes back at the same place
        SetWindowPos(switcher.hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    }
}

void CTrayWin::OnCommand(WPARAM command) {
    // 3 and 4 belong to the switcher's menu; both dialogs report back here
    commands.Run(command, hwnd, hwnd);
}
