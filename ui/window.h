// Every program window is an object derived from CWindow; one window class serves them all.
#pragma once
#include <windows.h>
// after windows.h, which it needs
#include <windowsx.h>

#include <vector>

inline constexpr wchar_t windowClassName[] = L"__CWindowClass";

class CWindow {
  public:
    HWND hwnd = nullptr;
    HINSTANCE hInstance;

    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    virtual LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;

    // One CreateWindowExW of "__CWindowClass", bound to this object; NULL on failure.
    HWND createWindow(DWORD exStyle, DWORD style, int x, int y, int width, int height);

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  protected:
    CWindow();
    // Base teardown: unbinds the object first, so the window's last messages go to
    // DefWindowProcW, then destroys a window that still exists. Not virtual: every
    // object is torn down through its own type.
    ~CWindow();
};

// Where a window of the given size lands when centred on `reference`, pulled back
// vertically into `area` (the top edge wins when it is taller than the area).
POINT centredPosition(SIZE window, const RECT& reference, const RECT& area);

// Where a window with this rectangle goes so that it can be seen: where it is when the work
// areas show all of it, otherwise as near as it gets inside the work area nearest to it (most
// overlap, then smallest gap), whose left and top edges win when it is larger. A window with
// no width or height yet counts as one pixel. Work areas of monitors never overlap.
POINT onScreenPosition(const RECT& window, const std::vector<RECT>& workAreas);
// Every monitor's work area, in screen pixels.
std::vector<RECT> monitorWorkAreas();

// The point of a mouse message, in client pixels; both halves are signed.
inline POINT pointFromLParam(LPARAM lParam) {
    return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

// Centres a window on its parent (child windows) or its owner; any other window on the work
// area of the monitor of `opener` when that is shown, else of the pointer's monitor (a
// hidden opener, such as the tray window, has no place of its own).
void centre(HWND hwnd, HWND opener = nullptr);
