#include "clients/activation.h"

#include <process.h>

#include <iterator>
#include <memory>

#include "core/game_client.h"

namespace {

// How long the first request has to show before it is made once more. The foreground's owner
// changes at once, but its active window only when the client's thread takes the activation.
constexpr DWORD frontWaitMs = 500;

// What the worker is given, by value.
struct Request {
    HWND client;
    HWND before; // the window in front when the request was made
};

// The window of a client that takes the focus: a dialog it shows in front of its disabled
// main window, or the main window itself.
HWND focusOf(HWND client) {
    const HWND popup = GetLastActivePopup(client);
    return popup && IsWindowVisible(popup) && IsWindowEnabled(popup) ? popup : client;
}

// Waits for the client to come to the front. False when it did not, and nothing else came
// either: the foreground is still `before`, or in between.
bool cameToFront(HWND client, HWND before, DWORD ms) {
    const ULONGLONG until = GetTickCount64() + ms;
    for (;;) {
        const HWND front = GetForegroundWindow();
        if (front && clientOf(front) == client) return true;
        // the user has gone to another window meanwhile: the switch is over, it is not repeated
        if (front && front != before) return true;
        if (GetTickCount64() >= until) return false;
        Sleep(10);
    }
}

// Windows may not carry out even an accepted request: asked once more, the documented way and
// no other. Nothing is simulated or sent to the game.
unsigned __stdcall AwaitClient(void* parameter) {
    const std::unique_ptr<Request> request(static_cast<Request*>(parameter));
    if (!cameToFront(request->client, request->before, frontWaitMs) && IsWindow(request->client))
        SetForegroundWindow(focusOf(request->client));
    return 0;
}

} // namespace

HWND clientOf(HWND window) {
    for (HWND owner = window; owner; owner = GetWindow(owner, GW_OWNER))
        if (isClientWindow(owner)) return owner;
    return window ? GetAncestor(window, GA_ROOTOWNER) : nullptr;
}

HWND clientInFront() {
    return clientOf(GetForegroundWindow());
}

void Activations::Start(HWND client) {
    for (auto it = workers.begin(); it != workers.end();)
        it = ended(it->second) ? workers.erase(it) : std::next(it);
    if (workers.count(client)) return; // still activating it
    if (!IsWindow(client)) return;
    const HWND before = GetForegroundWindow();
    // The client may take the front too, when its own restore activates it.
    DWORD clientProcess = 0;
    if (GetWindowThreadProcessId(client, &clientProcess)) AllowSetForegroundWindow(clientProcess);
    // A minimised client comes back as it was, maximised too, even one that is the foreground
    // window all the same (Windows allows that); any other stays as it is. Neither call waits
    // for the client, so a busy one cannot make the request late: the right to set the
    // foreground lasts only until the user's next input (the keys coming up).
    if (IsIconic(client)) ShowWindowAsync(client, SW_RESTORE);
    const HWND focus = focusOf(client);
    if (before == focus) return;
    // Refused, a second request would be refused as well, and only flash the client's button.
    if (!SetForegroundWindow(focus)) return;
    auto* request = new Request{client, before}; // the worker's, which deletes it
    KernelHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, AwaitClient, request, 0, nullptr)));
    if (!thread) {
        delete request;
        return;
    }
    workers.emplace(client, std::move(thread));
}

bool Activations::Running(HWND client) const {
    const auto found = workers.find(client);
    return found != workers.end() && !ended(found->second);
}

bool Activations::ended(const KernelHandle& thread) {
    return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
}
