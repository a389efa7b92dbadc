// "Set clients" and "Restore": one pass over all top-level windows on a worker thread.
#pragma once
#include <windows.h>

#include "ui/handles.h"

enum PassMode : int { restorePass = 0, fitPass = 1 };

// No caption or frame; the window keeps its place in the z-order.
inline constexpr LONG fittedStyle =
    0x140A0000; // WS_VISIBLE|WS_CLIPSIBLINGS|WS_SYSMENU|WS_MINIMIZEBOX
inline constexpr LONG fittedExStyle = 0;
// A fixed-frame popup with caption.
inline constexpr LONG restoredStyle = static_cast<LONG>(0x94CA0000u);
inline constexpr LONG restoredExStyle = WS_EX_WINDOWEDGE;

// Both WS_BORDER and WS_DLGFRAME.
bool hasCaption(LONG style);

// Outer rectangle of a fitted client: the work area's corner, the old client size.
RECT fittedBounds(const RECT& workArea, SIZE clientSize);
// Outer rectangle of a restored client: the frame and caption, at the client's own DPI, are
// added around the client size, so the client area keeps its size.
RECT restoredBounds(const RECT& workArea, SIZE clientSize, int frameX, int frameY, int caption);

// Puts another program's window back to its normal placement (SW_RESTORE), keeping the
// rest of its placement; false when its placement cannot be read (it has gone).
bool restoreShowState(HWND hwnd);

// Starts a pass of `mode` in `pass`. A previous pass of the same slot is not waited for
// and never terminated: its handle is closed and it finishes on its own.
void startClientPass(KernelHandle& pass, int mode);

// Runs per-monitor aware (where Windows has per-thread awareness) and handles each client in
// the client's own awareness, so sizes are exact on scaled displays for both kinds of game.
unsigned __stdcall clientPassThread(void* mode);
BOOL CALLBACK clientWindowVisitor(HWND hwnd, LPARAM mode);
