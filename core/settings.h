// The settings record and its registry store under HKCU "Software\Skarvel".
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/wstring.h"

// A key as stored: the virtual-key code in the low word, the modifiers in the high word.
constexpr DWORD storedKey(UINT vk, UINT modifiers) {
    return (DWORD(modifiers & 0xFFFF) << 16) | (vk & 0xFFFF);
}

// Ctrl+Shift: games rarely bind it, it types no character (AltGr is Ctrl+Alt), and Windows
// gives it no meaning with these keys by default.
inline constexpr DWORD defaultNextClientKey = storedKey(VK_RIGHT, MOD_CONTROL | MOD_SHIFT);
inline constexpr DWORD defaultPreviousClientKey = storedKey(VK_LEFT, MOD_CONTROL | MOD_SHIFT);
inline constexpr DWORD defaultLastClientKey = storedKey(VK_UP, MOD_CONTROL | MOD_SHIFT);
inline constexpr DWORD defaultPlaceKeys = MOD_CONTROL | MOD_SHIFT;

struct Settings {
    DWORD showSwitcher = 1; // on when non-zero
    DWORD keepSwitcherOpen = 0;
    DWORD switcherOpensClients = 0; // on only when exactly 1
    DWORD loadAtStartup = 0;        // on when non-zero
    DWORD fitNewClients = 0;        // on when non-zero: a client is fitted as it logs in
    LONG switcherX = 300;
    LONG switcherY = 0;
    CWString clientPath;
    // Keys, stored beside the rest; absent values read as these and are written only when the
    // keys are saved. A key is a virtual-key code in the low word and RegisterHotKey's
    // modifiers in the high word; 0 is no key.
    DWORD switchKeys = 0; // on when non-zero
    DWORD nextClientKey = defaultNextClientKey;
    DWORD previousClientKey = defaultPreviousClientKey;
    DWORD lastClientKey = defaultLastClientKey;
    DWORD placeKeys = defaultPlaceKeys; // the modifiers held with the digits 1 to 9
    // Character names in the player's order for the strip ("Client order").
    std::vector<std::wstring> clientOrder;
};

// One record for the process, touched only on the user-interface thread.
extern Settings settings;

void loadSettings();
bool findClientPath();
void saveSettings(DWORD showSwitcher, DWORD keepSwitcherOpen, DWORD switcherOpensClients,
                  DWORD loadAtStartup, DWORD fitNewClients, HWND editField);
void saveSwitcherPosition(int x, int y);
// A strip position stored by an earlier version, which was DPI-unaware: Windows showed it in
// 96-DPI pixels scaled by its monitor's DPI, so this is where it stood in the screen's
// own pixels.
POINT positionFromUnaware(POINT stored, UINT dpi);
// A monitor: its rectangle in the screen's own pixels and its DPI.
struct MonitorScale {
    RECT physical;
    UINT dpi;
};
// The DPI to convert such a position with: that of the monitor that held it as the earlier
// version saw the monitors (each one's rectangle in 96-DPI pixels of its own scale), else the
// first one's (the primary); 0 without monitors.
UINT unawarePositionDpi(POINT stored, const std::vector<MonitorScale>& monitors);
// Stores the player's order of characters and takes it into the record.
void saveClientOrder(const std::vector<std::wstring>& names);
// The names a stored "Client order" holds, however damaged: its first 64 KiB split at each
// terminator, without empty, repeated or over-long names, at most 100 of them.
std::vector<std::wstring> namesFromMultiString(const wchar_t* data, size_t units);
// Stores the keys as given (cleaned as loading cleans them) and takes them into the record.
void saveSwitchKeys(DWORD on, DWORD nextKey, DWORD previousKey, DWORD lastKey, DWORD placeKeys);

// A stored key as it can be held: modifier bits RegisterHotKey does not know are dropped, and
// a value without a key code, whose key is a modifier alone, or F12 alone (Windows keeps it for
// the debugger), is no key (0).
DWORD cleanKey(DWORD stored);
// Shift, Ctrl, Alt or Win, either side: held with a key, never a key alone.
bool isModifierKey(DWORD vk);
// Stored place-key modifiers without the bits RegisterHotKey does not know.
DWORD cleanPlaceKeys(DWORD stored);
