// The hidden owner window: the notification-area icon, its menu, the switcher, and the
// program's top-level commands.
#pragma once
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <vector>

#include "app/shared_commands.h"
#include "clients/new_clients.h"
#include "clients/selector_win.h"
#include "clients/switch_keys.h"
#include "core/handles.h"
#include "ui/menu_win.h"
#include "ui/window.h"

class CTrayWin : public CWindow {
  public:
    // the shared commands and the one pass, handed to the switcher too; outlives it
    SharedCommands commands;
    NOTIFYICONDATAW iconData;
    int iconAdded = 0;
    IconHandle hIcon;
    // the program's one owner of activations, for the strip's clicks and the keys
    Activations activations;
    // held for this window; outlives the switcher, whose tick follows the foreground for it
    SwitchKeys keys;
    CSelectorWin switcher;
    CMenuWin menu;
    // "Fit new clients", with its own passes
    NewClients newClients;

    CTrayWin();
    ~CTrayWin();

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void OnCreate();
    void OnDestroy();
    void FillIconData();
    void AddIcon();
    // The icon at the small-icon size of this DPI, kept when it cannot be loaded.
    void LoadIconFor(UINT dpi);
    void OnTaskbarCreated();
    void OnDpiChanged(UINT dpi);
    void OnIconRetry();
    // The shell keeps the icon, or takes it anew: 1 when it has it afterwards.
    int ModifyOrAddIcon();
    void OnTrayNotify(WPARAM id, LPARAM event);
    void OnSettingsChanged();
    void OnCommand(WPARAM command);
    void OnHotKey(int action);
    // Signs the strip's cells and tells the player which clients a pass had to leave.
    void OnPassReport(PassReport& report);
    // A balloon from the icon; the player's only notice, so it names what it means.
    void ShowNotice(const CWString& text, DWORD kind = NIIF_WARNING);
    // The menu's rows, "Forget places" among them while any place is stored.
    void FillMenu();
    void RememberPlaces();

    const UINT taskbarCreatedMessage;
    const UINT closeRequestMessage;
    // the retries of a failed add stop some minutes after this: the start, or the last
    // TaskbarCreated that could not add the icon
    ULONGLONG retrySince = 0;
};

// The small-icon size at this DPI; with none, at the system's.
int trayIconSize(UINT dpi);
// The icon at the small-icon size of this DPI; with none, of the system's.
HICON loadTrayIcon(HINSTANCE instance, UINT dpi = 0);

// The tray menu's items, in display order, as (text, command).
struct TrayMenuEntry {
    const wchar_t* text;
    int command;
};
std::vector<TrayMenuEntry> trayMenuEntries(bool placesStored);
