#include "app/tray_win.h"

#include <cwchar>

#include "core/globals.h"
#include "core/messages.h"
#include "core/scale.h"
#include "core/settings.h"
#include "core/user32.h"
#include "res/resource.h"

namespace {

// A failed add is tried again this often, for this long after start: at logon the shell
// may not be ready to take icons yet.
constexpr UINT_PTR iconRetryTimer = 1;
constexpr UINT iconRetryPeriod = 3000;
constexpr ULONGLONG iconRetryWindow = 5 * 60 * 1000;

} // namespace

int trayIconSize(UINT dpi) {
    // the system's metric is that of the scale at logon, which a later change leaves behind
    if (dpi && systemMetricsAtDpi) return systemMetricsAtDpi(SM_CXSMICON, dpi);
    return GetSystemMetrics(SM_CXSMICON);
}

HICON loadTrayIcon(HINSTANCE instance, UINT dpi) {
    // the image of exactly that size, not one stretched by the shell
    const int size = trayIconSize(dpi);
    return static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, size, size, 0));
}

std::vector<TrayMenuEntry> trayMenuEntries(bool placesStored) {
    std::vector<TrayMenuEntry> entries{{L"Open client", cmdOpenClient},
                                       {L"Set clients", cmdSetClients},
                                       {L"Restore", cmdRestore},
                                       {L"Remember places", cmdRememberPlaces}};
    if (placesStored) entries.push_back({L"Forget places", cmdForgetPlaces});
    entries.insert(
        entries.end(),
        {{L"Configure", cmdConfigure}, {L"Version", cmdVersion}, {L"Exit Skarvel", cmdExit}});
    return entries;
}

CTrayWin::CTrayWin()
    : iconData{},
      // Explorer broadcasts this when it (re)creates the taskbar
      taskbarCreatedMessage(RegisterWindowMessageW(L"TaskbarCreated")),
      closeRequestMessage(RegisterWindowMessageW(closeRequestName)) {
    loadSettings();
    commands.configDialog = configWindow;
    commands.versionDialog = versionWindow;
    commands.newClients = &newClients;
    switcher.commands = &commands;
    switcher.keys = &keys;
    switcher.activations = &activations;
    switcher.newClients = &newClients;
    FillMenu();
}

void CTrayWin::FillMenu() {
    menu.ClearItems();
    const auto entries = trayMenuEntries(!loadPlaces().empty());
    for (size_t i = 0; i < entries.size(); ++i)
        menu.AppendItem(entries[i].text, entries[i].command, i + 1 == entries.size());
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
        OnDestroy();
        return 0;
    case WM_TIMER:
        if (wParam == iconRetryTimer) OnIconRetry();
        if (wParam == SwitchKeys::lookTimer) keys.Look();
        if (wParam == NewClients::lookTimer) newClients.Look();
        if (wParam == NewClients::recheckTimer) newClients.Recheck();
        return 0;
    case UM_NEWCLIENTLOOK:
        newClients.Look();
        return 0;
    case UM_NEWCLIENTFIT:
        if (PassReport report; newClients.TakeReport(report)) OnPassReport(report);
        return 0;
    case WM_HOTKEY:
        OnHotKey(static_cast<int>(wParam));
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
    case UM_PASSREPORT:
        if (PassReport report; commands.TakePassReport(report)) OnPassReport(report);
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam));
        return 0;
    default:
        if (msg == taskbarCreatedMessage && msg != 0) {
            OnTaskbarCreated();
            return 0;
        }
        if (msg == closeRequestMessage && msg != 0) {
            OnCommand(cmdExit);
            return 1;
        }
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}

void CTrayWin::OnCreate() {
    // an elevated copy would not hear a non-elevated Explorer otherwise
    ChangeWindowMessageFilterEx(hwnd, taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
    // a copy elevated to reach an elevated game client must still close for an installer
    ChangeWindowMessageFilterEx(hwnd, closeRequestMessage, MSGFLT_ALLOW, nullptr);
    commands.reportTo = hwnd;
    retrySince = GetTickCount64();
    LoadIconFor(Scale::ofWindow(hwnd).dpi);
    AddIcon();
    if (settings.showSwitcher) switcher.Create(hwnd);
    keys.Attach(hwnd, &activations);
    keys.LookBySelf(switcher.Ticking());
    newClients.Attach(hwnd, UM_NEWCLIENTLOOK, UM_NEWCLIENTFIT);
    newClients.LookBySelf(switcher.Ticking());
    if (menu.createWindow(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WS_POPUP, 0, 0,
                          menuItemHeight, menuItemHeight))
        menu.opener = hwnd;
}

void CTrayWin::OnDestroy() {
    KillTimer(hwnd, iconRetryTimer);
    keys.Detach();
    newClients.Detach();
    // also when the add seemed to fail: the shell may have taken it all the same, and a
    // delete of an icon it does not have does no harm
    FillIconData();
    iconData.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &iconData);
    iconAdded = 0;
}

void CTrayWin::FillIconData() {
    iconData = {};
    // the layout that ends with dwInfoFlags, in this build's own pointer size
    iconData.cbSize = NOTIFYICONDATAW_V2_SIZE;
    iconData.hWnd = hwnd;
    iconData.uID = 0;
    iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    iconData.uCallbackMessage = UM_TRAYNOTIFY;
    iconData.hIcon = hIcon.get();
    wcsncpy_s(iconData.szTip, std::size(iconData.szTip), L"Skarvel", _TRUNCATE);
}

void CTrayWin::AddIcon() {
    FillIconData();
    iconAdded = Shell_NotifyIconW(NIM_ADD, &iconData) ? 1 : 0;
    if (!iconAdded && GetTickCount64() - retrySince < iconRetryWindow)
        SetTimer(hwnd, iconRetryTimer, iconRetryPeriod, nullptr);
}

void CTrayWin::OnTaskbarCreated() {
    // Explorer sends this after a restart (no icon) and also after a change of scale or
    // resolution, while the icon is still there: then an add fails and only a modify works.
    KillTimer(hwnd, iconRetryTimer);
    LoadIconFor(Scale::ofWindow(hwnd).dpi);
    FillIconData();
    iconAdded = ModifyOrAddIcon();
    // a shell that has just restarted may not take icons yet either
    if (!iconAdded) {
        retrySince = GetTickCount64();
        SetTimer(hwnd, iconRetryTimer, iconRetryPeriod, nullptr);
    }
}

void CTrayWin::LoadIconFor(UINT dpi) {
    // the scale of the taskbar's monitor now, not the system's from logon; the shell keeps its
    // own copy of the image it shows, so the old one may go at once
    if (const HICON fresh = loadTrayIcon(hInstance, dpi)) hIcon.reset(fresh);
}

void CTrayWin::OnDpiChanged(UINT dpi) {
    LoadIconFor(dpi);
    if (!iconAdded) return; // the retry or the next TaskbarCreated adds the new one
    FillIconData();
    Shell_NotifyIconW(NIM_MODIFY, &iconData);
}

void CTrayWin::OnIconRetry() {
    if (iconAdded || GetTickCount64() - retrySince >= iconRetryWindow) {
        KillTimer(hwnd, iconRetryTimer);
        return;
    }
    FillIconData();
    // an add that timed out in a busy shell may have landed after all
    iconAdded = ModifyOrAddIcon();
    if (iconAdded) KillTimer(hwnd, iconRetryTimer);
}

int CTrayWin::ModifyOrAddIcon() {
    if (Shell_NotifyIconW(NIM_MODIFY, &iconData)) return 1;
    return Shell_NotifyIconW(NIM_ADD, &iconData) ? 1 : 0;
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
    keys.Apply();
    keys.LookBySelf(switcher.Ticking());
    newClients.Apply();
    newClients.LookBySelf(switcher.Ticking());
}

void CTrayWin::OnHotKey(int action) {
    // the cells the user sees, when the strip shows any; else the order it would show
    keys.OnHotKey(action, switcher.ShownClients());
}

void CTrayWin::OnPassReport(PassReport& report) {
    switcher.FollowPassReport(report);
    const CWString notice =
        refusalNotice(report, [this](HWND client) { return switcher.ShownName(client); });
    if (notice.length()) ShowNotice(notice);
}

void CTrayWin::ShowNotice(const CWString& text, DWORD kind) {
    if (!iconAdded) return;
    FillIconData();
    iconData.uFlags = NIF_INFO;
    wcsncpy_s(iconData.szInfo, std::size(iconData.szInfo), text.c_str(), _TRUNCATE);
    wcsncpy_s(iconData.szInfoTitle, std::size(iconData.szInfoTitle), L"Skarvel", _TRUNCATE);
    iconData.dwInfoFlags = kind;
    Shell_NotifyIconW(NIM_MODIFY, &iconData);
}

void CTrayWin::OnCommand(WPARAM command) {
    switch (command) {
    case cmdRememberPlaces:
        RememberPlaces();
        break;
    case cmdForgetPlaces:
        forgetPlaces();
        FillMenu();
        break;
    default:
        // 3 and 4 belong to the switcher's menu; both dialogs report back here
        commands.Run(command, hwnd, hwnd);
        break;
    }
}

void CTrayWin::RememberPlaces() {
    const std::vector<std::wstring> names = rememberPlaces();
    ShowNotice(placesNotice(names).c_str(), NIIF_INFO);
    FillMenu();
}
