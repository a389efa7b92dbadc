// Functions of newer user32 versions, looked up at run time so the program still runs where
// they are absent: null there.
#pragma once
#include <windows.h>

template <class Fn> Fn user32Function(const char* name) {
    // through void(*)() so the cast between function types is explicit
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// Windows 10 1607 and later.
inline const auto setThreadDpiAwareness =
    user32Function<DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT)>(
        "SetThreadDpiAwarenessContext");
inline const auto windowDpiAwareness =
    user32Function<DPI_AWARENESS_CONTEXT(WINAPI*)(HWND)>("GetWindowDpiAwarenessContext");
inline const auto windowDpi = user32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
inline const auto systemMetricsAtDpi =
    user32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
inline const auto adjustWindowRectAtDpi =
    user32Function<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");

// The calling thread in a window's own DPI awareness for a scope, so that what it reads and
// writes of that window is not scaled; nothing where the system cannot switch.
class AwarenessOfWindow {
  public:
    explicit AwarenessOfWindow(HWND window) {
        if (setThreadDpiAwareness && windowDpiAwareness) {
            if (const DPI_AWARENESS_CONTEXT own = windowDpiAwareness(window))
                previous = setThreadDpiAwareness(own);
        }
    }
    ~AwarenessOfWindow() {
        if (previous) setThreadDpiAwareness(previous);
    }
    AwarenessOfWindow(const AwarenessOfWindow&) = delete;
    AwarenessOfWindow& operator=(const AwarenessOfWindow&) = delete;

  private:
    DPI_AWARENESS_CONTEXT previous = nullptr;
};
