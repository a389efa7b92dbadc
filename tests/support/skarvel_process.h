// The real skarvel.exe, started and driven from outside as another program would.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/scale.h"
#include "tests/support/testkit.h"

struct Skarvel {
    testkit::Process process;
    HWND tray = nullptr;
};

std::wstring skarvelExe();
// Starts the program (the built one, or that exe) and waits for its hidden tray window; tray
// is NULL if it never came.
Skarvel startSkarvel(const std::wstring& exe = skarvelExe());
// The program's hidden tray window: its "__CWindowClass" window that is no tool window.
HWND findTrayWindow(DWORD pid);
// Posts a command as its menus do; false if the window is gone.
bool postCommand(HWND tray, WPARAM command);
// True when the window's thread answers a message within ms.
bool answers(HWND window, UINT ms = 1000);
// "Exit Skarvel", then waits; true when the process ended with code 0.
bool exitSkarvel(Skarvel& skarvel, DWORD timeoutMs = 10000);

// SendMessageTimeoutW, so a hung program fails the call instead of the caller.
bool deliver(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// The shell keeps icons by (window, id): modifying nothing succeeds only for an icon it has.
bool iconExists(HWND tray);
// The program's visible windows of this height (and width, unless -1): its menus, dialogs
// and strip are told apart by their size.
std::vector<HWND> shownWindows(DWORD pid, int height, int width = -1);
// Waits up to timeoutMs for exactly one such window.
HWND waitShownWindow(DWORD pid, int height, int width = -1, DWORD timeoutMs = 5000);

// A press and release at a point in a window's client pixels, as mouse messages.
void clickWindow(HWND window, POINT at);
// Chooses the row of an open menu at a point in its client pixels, by messages or by a real
// click; true once the menu closed on the choice. Wine reports a move at the real pointer when
// a window appears under it, and such a move between the press and the release drops the
// press, as it would a user's: the choice is made again.
bool chooseInMenu(HWND menu, POINT at, bool realClick = false);
// The real pointer to the screen's right edge, where no centred window of the program opens:
// Wine reports a move at the real pointer when a window appears under it, at times seconds
// late, and one between a press and its release drops the press, as it would a user's.
void parkPointer();
// Points in the configuration window at 96 DPI: the "Client Switcher" box and OK.
inline constexpr POINT showSwitcherBox{14, 42}, configOkPoint{140, 139};
// Turns "Client Switcher" over as a user does: "Configure" from the tray, the box, OK;
// true once the configuration window has opened and closed again.
bool toggleSwitcherSetting(const Skarvel& skarvel);

// Values under HKCU\Software\Skarvel as the program stored them.
inline constexpr DWORD absentNumber = 0xDEAD;
DWORD storedNumber(const wchar_t* name);      // absentNumber when missing or not a DWORD
std::wstring storedText(const wchar_t* name); // L"<none>" when missing or not a string
