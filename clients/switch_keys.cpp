#include "clients/switch_keys.h"

#include <algorithm>
#include <iterator>

#include "clients/switcher_model.h"
#include "clients/window_events.h"
#include "core/game_client.h"
#include "core/settings.h"

namespace {

// The periodic look at the foreground: the strip's own period while nothing tells of a change;
// once the hook does, a slow look for one it missed (an out-of-context event can be lost, or
// come late and out of order), so the keys are never held long for the wrong program.
constexpr UINT lookPeriod = 90;
constexpr UINT slowLookPeriod = 1000;

void onForegroundEvent(void* keys, DWORD, HWND) {
    static_cast<SwitchKeys*>(keys)->OnForegroundEvent();
}

} // namespace

HWND switchTarget(const std::vector<HWND>& clients, HWND front, HWND previous, int action) {
    if (clients.empty()) return nullptr;
    const auto count = static_cast<ptrdiff_t>(clients.size());
    const auto at = std::find(clients.begin(), clients.end(), front);
    const ptrdiff_t index = at - clients.begin();
    HWND target = nullptr;
    switch (action) {
    case switchNext:
        target = at == clients.end() ? clients.front() : clients[size_t((index + 1) % count)];
        break;
    case switchPrevious:
        target =
            at == clients.end() ? clients.back() : clients[size_t((index + count - 1) % count)];
        break;
    case switchLast:
        if (std::find(clients.begin(), clients.end(), previous) != clients.end()) target = previous;
        break;
    default:
        if (const int place = action - switchPlace1; place >= 0 && place < count && place < 9)
            target = clients[size_t(place)];
        break;
    }
    return target == front ? nullptr : target;
}

std::vector<HWND> quietClientOrder() {
    QuietView view;
    std::vector<HWND> others;
    walkQuietly(view, others);
    ClientSlot slots[maxClients];
    for (int i = 0; i < view.count; ++i) {
        slots[i].window = view.windows[i];
        nameFromTitle(view.titles[i], static_cast<int>(wcslen(view.titles[i])), slots[i].name);
    }
    // the walk goes front to back, which each switch changes: clients with the bare title are
    // numbered in handle order instead, so their order stays put
    std::sort(
        std::begin(slots), std::begin(slots) + view.count,
        [](const ClientSlot& a, const ClientSlot& b) { return HandleLess()(a.window, b.window); });
    // named and ordered as the strip names and orders them
    ClientRecords records;
    int counter = 0;
    mergeSlots(slots, records, counter, [](const CWString&) { return 0; });
    return displayOrder(records, settings.clientOrder);
}

SwitchKeys::~SwitchKeys() {
    Detach();
}

void SwitchKeys::Detach() {
    Release();
    Unhook();
    if (window) KillTimer(window, lookTimer);
    window = nullptr;
}

void SwitchKeys::LookBySelf(bool stripLooks) {
    ownLook = !stripLooks;
    UpdateLookTimer();
}

void SwitchKeys::UpdateLookTimer() {
    if (!window) return;
    if (On() && hookDelivers)
        SetTimer(window, lookTimer, slowLookPeriod, nullptr);
    else if (ownLook && NeedsLooking())
        SetTimer(window, lookTimer, lookPeriod, nullptr);
    else
        KillTimer(window, lookTimer);
}

void SwitchKeys::OnForegroundEvent() {
    // the event is late or out of order now and then: the foreground itself is asked
    if (!hookDelivers) {
        hookDelivers = true;
        UpdateLookTimer(); // Windows tells of changes from now on: the look slows down
    }
    Follow(clientInFront());
}

void SwitchKeys::Unhook() {
    WindowEvents::Stop(this);
    hookDelivers = false;
}

void SwitchKeys::Attach(HWND owner, Activations* ownerActivations) {
    window = owner;
    activations = ownerActivations;
    Apply();
}

bool SwitchKeys::On() const {
    return window && settings.switchKeys != 0;
}

void SwitchKeys::Apply() {
    Release();
    lastFront = nullptr; // the window in front is looked at anew
    if (!On()) {
        Unhook();
        UpdateLookTimer();
        return;
    }
    // Windows tells of a new foreground at once; where it never does (Wine), the owner's
    // periodic look at the foreground is what follows it
    WindowEvents::Listen(this, onForegroundEvent, foregroundEvents);
    UpdateLookTimer();
    Follow(clientInFront());
}

void SwitchKeys::Follow(HWND front) {
    if (!On()) {
        Release();
        return;
    }
    if (!front || front == lastFront) return;
    lastFront = front;
    const bool client = isClientWindow(front);
    if (client && front != frontClient) {
        previousClient = frontClient;
        frontClient = front;
    }
    // a key another program holds is tried again when a client next comes to the front
    if (client && held.empty())
        Hold();
    else if (!client)
        Release();
}

void SwitchKeys::Hold() {
    const auto bindings = keyBindings(settings.nextClientKey, settings.previousClientKey,
                                      settings.lastClientKey, settings.placeKeys);
    // a key another program holds is left to it; the others still work
    for (const KeyBinding& binding : bindings) {
        if (RegisterHotKey(window, binding.action, HIWORD(binding.key) | MOD_NOREPEAT,
                           LOWORD(binding.key)))
            held.push_back(binding.action);
    }
}

void SwitchKeys::Release() {
    for (int action : held)
        UnregisterHotKey(window, action);
    held.clear();
}

void SwitchKeys::OnHotKey(int action, const std::vector<HWND>& shown) {
    // a key already on its way when the keys were let go
    if (!On() || !activations) return;
    const HWND front = clientInFront();
    // A key switches only from a client: with anything else in front (a change not yet
    // followed) it was meant for that program, which gets the keys from now on.
    if (front && !isClientWindow(front)) {
        Follow(front);
        Release(); // also when this front was followed before the keys were held again
        return;
    }
    // While the last switch is on its way, its client counts as in front: a second key
    // pressed meanwhile goes on from there, not from the one it is leaving.
    const bool landing = frontClient && activations->Running(frontClient);
    if (!landing) Follow(front);
    const HWND from = landing || !isClientWindow(front) ? frontClient : front;
    const HWND target =
        switchTarget(shown.empty() ? quietClientOrder() : shown, from, previousClient, action);
    if (!target) return;
    activations->Start(target);
    previousClient = from;
    frontClient = target;
}
