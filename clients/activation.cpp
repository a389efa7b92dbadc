#include "clients/activation.h"

#include <process.h>

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
    // a minimised client comes back as it was, maximised too; any other stays as it is
    if (IsIconic(client)) ShowWindow(client, SW_RESTORE);
    // Windows may refuse even a process that holds the right to set the foreground (the click
    // or the key was its input, and stays the last one until the user's next): once more is
    // the documented way. Nothing is simulated or sent to the game.
    if (SetForegroundWindow(client) && cameToFront(client, before, frontWaitMs)) return 0;
    if (IsWindow(client)) SetForegroundWindow(client);
    return 0;
}

void Activations::Start(HWND client) {
    auto running = workers.find(client);
    if (running != workers.end() && !ended(running->second)) return; // still activating it
    KernelHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ActivateClient, client, 0, nullptr)));
    if (thread)
        workers[client] = std::move(thread);
    else if (running != workers.end())
        workers.erase(running);
}

bool Activations::ended(const KernelHandle& thread) {
    return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
}
