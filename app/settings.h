// The settings record and its registry store under HKCU "Software\Skarvel".
#pragma once
#include <windows.h>

#include "ui/wstring.h"

struct Settings {
    DWORD showSwitcher = 1;         // on when non-zero
    DWORD keepSwitcherOpen = 0;
    DWORD switcherOpensClients = 0; // on only when exactly 1
    DWORD loadAtStartup = 0;        // on when non-zero
    LONG switcherX = 300;
    LONG switcherY = 0;
    CWString clientPath;
};

// One record for the process, touched only on the user-interface thread.
extern Settings settings;

void loadSettings();
bool findClientPath();
void saveSettings(DWORD showSwitcher, DWORD keepSwitcherOpen, DWORD switcherOpensClients,
                  DWORD loadAtStartup, HWND editField);
void saveSwitcherPosition(int x, int y);
