// Windows' word on the top-level windows of other programs: made, shown, hidden, destroyed,
// renamed, minimised and restored, and each change of the foreground. The hooks are out of
// context (no DLL): their events come through the message loop of the thread that listens.
#pragma once
#include <windows.h>

#include <vector>

enum WindowEventKinds : unsigned {
    foregroundEvents = 1, // EVENT_SYSTEM_FOREGROUND, the program's own windows included
    windowEvents = 2,     // the others, from other processes only
};

// The listeners of one thread share one set of hooks, which is in place while any listens.
class WindowEvents {
  public:
    using Handler = void (*)(void* listener, DWORD event, HWND window);
    // Starts (or changes) the delivery of `kinds` to `listener` on this thread; false when a
    // hook could not be set (the listener then gets what the others deliver).
    static bool Listen(void* listener, Handler handler, unsigned kinds);
    static void Stop(void* listener);
    // Whether this is an event that only comes where Windows reports window changes at all:
    // Wine reports only the creation of windows.
    static bool Proves(DWORD event) { return event != EVENT_OBJECT_CREATE; }
};

// A window above one of the program's own in the z-order, as far as covering it goes.
struct WindowAbove {
    bool visible;
    bool ownProcess;
    bool covers = true; // its rectangle meets the window's
};

// The windows above `window`, nearest first; one that does not meet it covers nothing.
std::vector<WindowAbove> windowsAbove(HWND window);

// Whether the strip must put itself on top again: a strip with cells, while its own menu is
// closed, under a visible window of another program. Hidden windows (tooltips, closed menus)
// cover nothing, and the program's own menus and dialogs may stand above its strip.
bool stripMustRise(bool hasCells, bool ownMenuOpen, const std::vector<WindowAbove>& above);
