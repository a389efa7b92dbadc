// Process-wide values set at start-up.
#pragma once
#include <windows.h>

class CConfigWin;
class CKeysWin;
class CVersionWin;

extern HINSTANCE moduleInstance;
// Published before the tray is built; the "Configure" and "Version" commands open these, and
// the configuration window's KEYS button the keys window.
extern CConfigWin* configWindow;
extern CVersionWin* versionWindow;
extern CKeysWin* keysWindow;

inline constexpr wchar_t instanceMutexName[] = L"{5A1C0E42-93B7-4F6D-8E21-C07A94D3B6F1}";
