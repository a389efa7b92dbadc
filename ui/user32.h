// Functions of newer user32 versions, looked up at run time so the program still runs where
// they are absent: null there.
#pragma once
#include <windows.h>

template <class Fn> Fn user32Function(const char* name) {
    // through void(*)() so the cast between function types is explicit
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The calling thread in a window's own DPI awareness for a scope, so that what it reads and
// writes of that window is not scaled; nothing where the system cannot switch (before
// Windows 10 1607).
class AwarenessOfWindow {
  public:
    explicit AwarenessOfWindow(HWND window) {
        static const auto ofWindow =
            user32Function<DPI_AWARENESS_CONTEXT(WINAPI*)(HWND)>("GetWindowDpiAwarenessContext");
        if (setAwareness && ofWindow) {
            if (const DPI_AWARENESS_CONTEXT own = ofWindow(window)) previous = setAwareness(own);
        }
    }
    ~AwarenessOfWindow() {
        if (previous) setAwareness(previous);
    }
    AwarenessOfWindow(const AwarenessOfWindow&) = delete;
    AwarenessOfWindow& operator=(const AwarenessOfWindow&) = delete;

  private:
    static inline const auto setAwareness =
        user32Function<DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT)>(
            "SetThreadDpiAwarenessContext");
    DPI_AWARENESS_CONTEXT previous = nullptr;
};
