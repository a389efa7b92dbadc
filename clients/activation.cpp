#include "clients/activation.h"

#include <process.h>

#include <iterator>

namespace {

// How long the first request has to show before it is made once more. The foreground's owner
// changes at once, but its active window only when the client's thread takes the activation.
constexpr DWORD frontWaitMs = 500;

// Waits for the client to come to the front. False when it did not, and nothing else came
// either: the foreground is still `before`, or in between.
bool cameToFront(HWND client, HWND before, DWORD ms) {
    const ULONGLONG until = GetTickCount64() + ms;
    for (;;) {
        const HWND front = GetForegroundWindow();
        if (front == client) return true;
        // the user has gone to another window meanwhile: the switch is over, it is not repeated
        if (front && front != before) return true;
        if (GetTickCount64() >= until) return false;
        Sleep(10);
    }
}

} // namespace

unsigned __stdcall ActivateClient(void* window) {
    const HWND client = static_cast<HWND>(window);
    const HWND before = GetForegroundWindow();
    if (!IsWindow(client) || before == client) return 0;
    // A minimised client comes back as it was, maximised too; any other stays as it is. Not
    // waited for: the right to set the foreground lasts only until the user's next input (the
    // keys coming up), and a busy client must not make the request late.
    if (IsIconic(client)) ShowWindowAsync(client, SW_RESTORE);
    // Windows may refuse even a process that holds the right: asked once more, the documented
    // way and no other, unless the user has gone to another window meanwhile. Nothing is
    // simulated or sent to the game.
    SetForegroundWindow(client);
    if (!cameToFront(client, before, frontWaitMs) && IsWindow(client)) SetForegroundWindow(client);
    return 0;
}

void Activations::Start(HWND client) {
    for (auto it = workers.begin(); it != workers.end();)
        it = ended(it->second) ? workers.erase(it) : std::next(it);
    if (workers.count(client)) return; // still activating it
    // This thread took the click or the key, so this process may set the foreground now; the
    // client may then take it too, when its own restore activates it.
    DWORD clientProcess = 0;
    if (GetWindowThreadProcessId(client, &clientProcess)) AllowSetForegroundWindow(clientProcess);
    KernelHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ActivateClient, client, 0, nullptr)));
    if (thread) workers.emplace(client, std::move(thread));
}

bool Activations::Running(HWND client) const {
    const auto found = workers.find(client);
    return found != workers.end() && !ended(found->second);
}

bool Activations::ended(const KernelHandle& thread) {
    return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
}
