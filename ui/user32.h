// Functions of newer user32 versions, looked up at run time so the program still runs where
// they are absent: null there.
#pragma once
#include <windows.h>
// after windows.h, which it needs
#include <shellscalingapi.h>

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

// Windows 8.1 and later, in shcore.dll, which the program does not link: null where absent.
inline const auto monitorDpi = [] {
    using Fn = HRESULT(WINAPI*)(HMONITOR, MONITOR_DPI_TYPE, UINT*, UINT*);
    const HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return shcore ? reinterpret_cast<Fn>(
                        reinterpret_cast<void (*)()>(GetProcAddress(shcore, "GetDpiForMonitor")))
                  : nullptr;
}();

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
