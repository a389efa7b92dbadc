// How tests drive the game-client stand-in (qor.exe) from another process.
//
// Command line:
//   qor.exe [--title TEXT] [--size WxH] [--pos X,Y] [--class NAME] [--log FILE]
//           [--minimized | --maximized] [--per-monitor-aware] [--refuse-styles] [--wide-frame]
// Defaults: title "QOR", client area 1024x768, position (100,100), class "qorMainView".
// Opened without arguments it is a plain client, as "Open client" starts it.
// DPI: a DPI-unaware program unless --per-monitor-aware, which declares per-monitor (v2)
// awareness as a game does at start. Either is set for the process and for its window's
// thread, so Wine, which makes every program per-monitor aware, gets the same kind of window
// as Windows. Sizes and positions are in the stand-in's own pixels: those of a 96-DPI screen
// when unaware, physical ones when aware. Once created, the stand-in corrects its window until
// the client area is the size asked for, as a game that checks it does.
// --refuse-styles: every change of its style or extended style is turned down in
// WM_STYLECHANGING (the old value kept), as a window another program may not change stays as
// it is; Wine has no integrity levels to refuse it.
// --wide-frame: while it has a caption, its frame is 4 px wider on each side than the
// system's metrics say, as a client that draws its own frame may make it.
#pragma once
#include <windows.h>

inline constexpr wchar_t qorClassName[] = L"qorMainView";

// Posted to the stand-in's window.
enum : UINT {
    QOR_HANG = WM_APP + 1,     // wParam: ms to stop answering; a sender is answered first;
                               // lParam non-zero: retitled first with a "!" added
    QOR_EXIT = WM_APP + 2,     // wParam: exit code; the window is destroyed first
    QOR_MINIMIZE = WM_APP + 3, // ShowWindow(SW_MINIMIZE) on its own thread
    QOR_MAXIMIZE = WM_APP + 4, // ShowWindow(SW_MAXIMIZE)
    QOR_RESTORE = WM_APP + 5,  // ShowWindow(SW_RESTORE)
    QOR_CRASH = WM_APP + 6,    // dies at once, no clean-up (TerminateProcess on itself, code 3)
};

// Sent: opens a dialog the window owns (class "qorDialog", titled "QOR dialog", 240x120 centred
// on the window), disables the window and activates the dialog, as a game's
// modal dialog does; answers the dialog's handle. Closing the dialog (WM_CLOSE) enables the
// window again.
inline constexpr UINT QOR_DIALOG = WM_APP + 9;
inline constexpr wchar_t qorDialogClassName[] = L"qorDialog";

// Sent: answers the client area's size as the stand-in itself reads it (GetClientRect on its
// own thread), MAKELRESULT(width, height): the size a game renders at, whatever the asker's
// DPI awareness.
inline constexpr UINT QOR_CLIENTSIZE = WM_APP + 7;

// Sent: answers how many title queries the stand-in has answered since it started. wParam 0:
// every WM_GETTEXT and WM_GETTEXTLENGTH, whoever sent them (Wine's own shell asks too, when a
// window comes, is renamed or activated); otherwise the WM_GETTEXTs with a buffer of exactly
// wParam units, which tells one asker from the rest.
inline constexpr UINT QOR_TITLEQUERIES = WM_APP + 8;

// Sent with WM_COPYDATA: lpData holds cbData bytes of raw UTF-16, NULs and unpaired
// surrogates included; it becomes what WM_GETTEXT and WM_GETTEXTLENGTH answer.
// The caption shows it up to the first NUL.
inline constexpr ULONG_PTR QOR_COPYDATA_TITLE = 1;

// Client-area fill and text colours, so screen checks can tell a stand-in apart.
inline constexpr COLORREF qorFillColor = RGB(0x7A, 0x3E, 0x9D);
inline constexpr COLORREF qorTextColor = RGB(0xFF, 0xFF, 0xFF);

// --log FILE: one UTF-8 line per event, appended and written at once. Without --log, the
// file named by the environment variable QOR_LOG, if any (for a client another program
// starts, which gives no arguments):
//   start pid=<decimal> hwnd=0x<hex>   window created
//   cwd <path>                         follows start: the folder it was started in
//   gettext                            WM_GETTEXT answered
//   settext                            WM_SETTEXT received
//   title <n>                          stored title changed, n UTF-16 units
//   style 0x<8 hex> / exstyle 0x<8 hex> WM_STYLECHANGED, the new value
//   refused style / refused exstyle    --refuse-styles turned a change down
//   pos <x> <y> <w> <h>                WM_WINDOWPOSCHANGED, window rectangle
//   client <w> <h>                     follows each pos line
//   show <n>                           QOR_MINIMIZE/MAXIMIZE/RESTORE, n = the SW_ value
//   activate                           WM_ACTIVATE, becoming active
//   dialog 0x<hex> / dialog closed     QOR_DIALOG opened one / it was closed
//   hang <ms> / awake                  around QOR_HANG's sleep
//   crash                              QOR_CRASH, just before dying
//   exit <code>                        window destroyed, process about to end
