#include "clients/window_events.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

struct Listener {
    void* owner;
    WindowEvents::Handler handler;
    unsigned kinds;
};

struct HookRange {
    DWORD first, last;
    unsigned kind;
};
// Four ranges rather than one: what lies between them (the pointer's location changes above
// all) comes far too often to be filtered here.
constexpr HookRange hookRanges[] = {
    {EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, foregroundEvents},
    {EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND, windowEvents},
    {EVENT_OBJECT_CREATE, EVENT_OBJECT_HIDE, windowEvents},
    {EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, windowEvents},
};

// Out-of-context callbacks come on the thread that set the hook, so each thread keeps its own.
struct ThreadHooks {
    std::vector<Listener> listeners;
    HWINEVENTHOOK hooks[std::size(hookRanges)] = {};
    ~ThreadHooks() {
        for (HWINEVENTHOOK& hook : hooks)
            if (hook) UnhookWinEvent(hook);
    }
};
thread_local ThreadHooks threadHooks;

unsigned kindOf(DWORD event) {
    return event == EVENT_SYSTEM_FOREGROUND ? foregroundEvents : windowEvents;
}

void CALLBACK onWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                         DWORD) {
    if (!window || object != OBJID_WINDOW || child != CHILDID_SELF) return;
    // top-level windows only; a window already destroyed has no parent left to tell
    if (event != EVENT_SYSTEM_FOREGROUND && event != EVENT_OBJECT_DESTROY &&
        GetAncestor(window, GA_PARENT) != GetDesktopWindow())
        return;
    // a handler may stop listening, its own or another's: one stopped is not called again
    const std::vector<Listener> now = threadHooks.listeners;
    for (const Listener& listener : now) {
        const auto& still = threadHooks.listeners;
        if ((listener.kinds & kindOf(event)) &&
            std::any_of(still.begin(), still.end(),
                        [&](const Listener& l) { return l.owner == listener.owner; }))
            listener.handler(listener.owner, event, window);
    }
}

// Sets the hooks the listeners need and lets go of the others; false when one could not be set.
bool updateHooks() {
    unsigned wanted = 0;
    for (const Listener& listener : threadHooks.listeners)
        wanted |= listener.kinds;
    bool complete = true;
    for (size_t i = 0; i < std::size(hookRanges); ++i) {
        HWINEVENTHOOK& hook = threadHooks.hooks[i];
        const HookRange& range = hookRanges[i];
        if (!(wanted & range.kind)) {
            if (hook) UnhookWinEvent(hook);
            hook = nullptr;
            continue;
        }
        if (hook) continue;
        // the foreground is followed into the program's own windows too, so a key or a lit
        // cell lets go when one of them comes in front
        const DWORD flags =
            WINEVENT_OUTOFCONTEXT | (range.kind == windowEvents ? WINEVENT_SKIPOWNPROCESS : 0);
        hook = SetWinEventHook(range.first, range.last, nullptr, onWinEvent, 0, 0, flags);
        complete = complete && hook != nullptr;
    }
    return complete;
}

} // namespace

bool WindowEvents::Listen(void* owner, Handler handler, unsigned kinds) {
    auto& listeners = threadHooks.listeners;
    for (Listener& listener : listeners)
        if (listener.owner == owner) {
            listener.handler = handler;
            listener.kinds = kinds;
            return updateHooks();
        }
    listeners.push_back({owner, handler, kinds});
    return updateHooks();
}

void WindowEvents::Stop(void* owner) {
    auto& listeners = threadHooks.listeners;
    for (auto it = listeners.begin(); it != listeners.end(); ++it)
        if (it->owner == owner) {
            listeners.erase(it);
            updateHooks();
            return;
        }
}

std::vector<WindowAbove> windowsAbove(HWND window) {
    std::vector<WindowAbove> above;
    const DWORD own = GetCurrentProcessId();
    RECT self{};
    GetWindowRect(window, &self);
    // the cheap questions first, and no further than the first window that covers it: the strip
    // asks at every look
    for (HWND other = GetWindow(window, GW_HWNDPREV); other;
         other = GetWindow(other, GW_HWNDPREV)) {
        WindowAbove seen{IsWindowVisible(other) != FALSE, false, false};
        DWORD process = 0;
        if (seen.visible) GetWindowThreadProcessId(other, &process);
        seen.ownProcess = process == own;
        RECT r{}, common{};
        seen.covers = seen.visible && !seen.ownProcess && GetWindowRect(other, &r) &&
                      IntersectRect(&common, &r, &self);
        above.push_back(seen);
        if (seen.covers) break;
    }
    return above;
}

bool stripMustRise(bool hasCells, bool ownMenuOpen, const std::vector<WindowAbove>& above) {
    return hasCells && !ownMenuOpen &&
           std::any_of(above.begin(), above.end(), [](const WindowAbove& other) {
               return other.visible && !other.ownProcess && other.covers;
           });
}
