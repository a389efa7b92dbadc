// The real skarvel.exe, started and driven from outside as another program would.
#pragma once
#include <windows.h>

#include "tests/support/testkit.h"

struct Skarvel {
    testkit::Process process;
    HWND tray = nullptr;
};

std::wstring skarvelExe();
// Starts the program and waits for its hidden tray window; tray is NULL if it never came.
Skarvel startSkarvel();
// The program's hidden tray window: its "__CWindowClass" window that is no tool window.
HWND findTrayWindow(DWORD pid);
// Posts a command as its menus do; false if the window is gone.
bool postCommand(HWND tray, WPARAM command);
// True when the window's thread answers a message within ms.
bool answers(HWND window, UINT ms = 1000);
// "Exit Skarvel", then waits; true when the process ended with code 0.
bool exitSkarvel(Skarvel& skarvel, DWORD timeoutMs = 10000);
