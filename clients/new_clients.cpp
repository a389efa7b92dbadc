#include "clients/new_clients.h"

#include <algorithm>
#include <cwchar>

#include "clients/places.h"
#include "clients/window_events.h"
#include "core/game_client.h"
#include "core/settings.h"

namespace {

// The strip's periods: where Windows reports only the creation of windows, and elsewhere.
constexpr UINT shortLook = 90, safetyLook = 2000;
// Some games move their window back once just after logging in.
constexpr UINT recheckAfter = 500;

} // namespace

void NewClients::Attach(HWND window, UINT look, UINT report) {
    owner = window;
    lookMessage = look;
    reportMessage = report;
    Apply();
}

void NewClients::Detach() {
    if (listening) WindowEvents::Stop(this);
    listening = false;
    if (owner) {
        KillTimer(owner, lookTimer);
        KillTimer(owner, recheckTimer);
    }
    owner = nullptr;
}

void NewClients::Apply() {
    if (!owner) return;
    const bool on = settings.fitNewClients != 0;
    if (on == listening) return;
    listening = on;
    if (!on) {
        WindowEvents::Stop(this);
        KillTimer(owner, lookTimer);
        KillTimer(owner, recheckTimer);
        fitted.clear();
        justFitted.clear();
        waiting.clear();
        seenOnce = false;
        return;
    }
    WindowEvents::Listen(this, onEvent, windowEvents);
    Look();
    UpdateLookTimer();
}

void NewClients::LookBySelf(bool stripLooks) {
    ownLook = !stripLooks;
    UpdateLookTimer();
}

void NewClients::UpdateLookTimer() {
    if (!owner) return;
    if (NeedsLooking() && ownLook)
        SetTimer(owner, lookTimer, eventsArrive ? safetyLook : shortLook, nullptr);
    else
        KillTimer(owner, lookTimer);
}

void NewClients::onEvent(void* self, DWORD event, HWND window) {
    auto& clients = *static_cast<NewClients*>(self);
    if ((!clients.eventsArrive && WindowEvents::Proves(event)) ||
        (!clients.renamesArrive && event == EVENT_OBJECT_NAMECHANGE)) {
        clients.eventsArrive = true;
        clients.renamesArrive = clients.renamesArrive || event == EVENT_OBJECT_NAMECHANGE;
        clients.UpdateLookTimer();
    }
    if (event != EVENT_OBJECT_CREATE && event != EVENT_OBJECT_SHOW &&
        event != EVENT_OBJECT_NAMECHANGE)
        return;
    if (clients.lookPosted || !isClientWindowCached(window, clients.others)) return;
    clients.lookPosted = PostMessageW(clients.owner, clients.lookMessage, 0, 0) != FALSE;
}

void NewClients::Look() {
    lookPosted = false;
    if (!listening) return;
    QuietView view;
    walkQuietly(view, others);
    std::map<HWND, std::wstring, HandleLess> named;
    std::vector<HWND> fresh;
    for (int i = 0; i < view.count; ++i) {
        const HWND window = view.windows[i];
        wchar_t name[clientNameUnits];
        nameFromTitle(view.titles[i], static_cast<int>(wcslen(view.titles[i])), name);
        // at the login screen it has no name: the next character it shows is new again; a
        // title with no name at all (loading) changes nothing
        const auto before = fitted.find(window);
        if (!name[0] && before != fitted.end()) named.emplace(*before);
        if (wcscmp(name, clientBareTitle) == 0 || !name[0]) continue;
        if (seenOnce && (before == fitted.end() || before->second != name)) fresh.push_back(window);
        named.emplace(window, name);
    }
    fitted = std::move(named);
    seenOnce = true;
    Fit(fresh);
}

void NewClients::Fit(const std::vector<HWND>& clients) {
    for (const HWND client : clients)
        if (std::find(waiting.begin(), waiting.end(), client) == waiting.end())
            waiting.push_back(client);
    if (fitting || waiting.empty()) return;
    playerSince = false;
    // a fit whose worker could not start reports nothing: it is not waited for
    fitting = passes.Start(fitPass, owner, reportMessage, loadPlaces(), std::exchange(waiting, {}));
}

bool NewClients::TakeReport(PassReport& report) {
    if (!passes.TakeReport(report)) return false;
    fitting = false;
    bool watch = false;
    for (const HWND client : report.changed) {
        if (playerSince) break;
        // a client fitted once more is not looked at again: a game that keeps moving back wins
        if (justFitted.erase(client)) continue;
        RECT placed{};
        if (GetWindowRect(client, &placed)) watch |= justFitted.emplace(client, placed).second;
    }
    if (watch) SetTimer(owner, recheckTimer, recheckAfter, nullptr);
    Fit({});
    return true;
}

void NewClients::LeaveToPlayer() {
    // a fit under way stops before its next client, so no two passes handle one client
    if (fitting) passes.Stop();
    fitting = false;
    waiting.clear();
    justFitted.clear();
    playerSince = true;
    if (owner) KillTimer(owner, recheckTimer);
}

void NewClients::Recheck() {
    KillTimer(owner, recheckTimer);
    std::vector<HWND> moved;
    for (auto& [client, placed] : justFitted) {
        RECT now{};
        if (GetWindowRect(client, &now) && !EqualRect(&now, &placed)) moved.push_back(client);
    }
    // those not moved are done; the moved ones stay listed until their second fit reports
    std::erase_if(justFitted, [&](const auto& entry) {
        return std::find(moved.begin(), moved.end(), entry.first) == moved.end();
    });
    Fit(moved);
}
