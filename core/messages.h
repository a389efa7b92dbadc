// Messages between the program's own windows, and the command numbers menus carry.
#pragma once
#include <windows.h>

enum : UINT {
    UM_COMMAND = WM_USER + 101,    // wParam: command number
    UM_TRAYNOTIFY = WM_USER + 666, // the notification-area icon's callback
    UM_SETTINGSCHANGED = WM_USER + 1011,
    UM_REFRESHSTRIP = WM_USER + 1012, // the strip's scan ended, or a window it shows changed
    UM_PASSREPORT = WM_USER + 1013,   // a pass went to the end: its report waits with the passes
    UM_NEWCLIENTLOOK = WM_USER + 1014, // a window event asks the new clients' fitter to look
    UM_NEWCLIENTFIT = WM_USER + 1015,  // the new clients' fit ended: its report waits there
};

// Another program (an installer) asks a running copy to end as "Exit Skarvel" does. Sent to
// the program's top-level "__CWindowClass" windows; the tray window answers 1 and the
// program ends once it has handled what came before. The name is part of the program's
// interface: keep it.
inline constexpr wchar_t closeRequestName[] = L"Skarvel.CloseRequest";

enum Command : WPARAM {
    cmdSetClients = 1,
    cmdRestore = 2,
    cmdLockToggle = 3,
    cmdShowTaskbar = 4,
    cmdOpenClient = 5,
    cmdConfigure = 6,
    cmdVersion = 7,
    cmdExit = 8,
    cmdRememberPlaces = 9,
    cmdForgetPlaces = 10,
};
