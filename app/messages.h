// Messages between the program's own windows, and the command numbers menus carry.
#pragma once
#include <windows.h>

enum : UINT {
    UM_COMMAND = WM_USER + 101,    // wParam: command number
    UM_TRAYNOTIFY = WM_USER + 666, // the notification-area icon's callback
    UM_SETTINGSCHANGED = WM_USER + 1011,
    UM_PASSREPORT = WM_USER + 1012, // a pass went to the end: its report waits with the passes
};

enum Command : WPARAM {
    cmdSetClients = 1,
    cmdRestore = 2,
    cmdLockToggle = 3,
    cmdShowTaskbar = 4,
    cmdOpenClient = 5,
    cmdConfigure = 6,
    cmdVersion = 7,
    cmdExit = 8,
};
