// Bringing a client to the front, as a click on its cell or a key does.
#pragma once
#include <windows.h>

#include <map>

#include "clients/client_list.h"
#include "core/handles.h"

// Restores a minimised client and brings it to the front; where it did not come, and nothing
// else came either, it asks once more. Runs on a worker thread, so that no wait for the client
// ever holds up the window that asked.
unsigned __stdcall ActivateClient(void* window);

// The program's activations under way, one worker per client, for clicks and keys alike: a
// hung client holds up its own worker, never the window that asked, and is not asked again
// while that worker runs. Workers are never terminated: closing their handles lets them
// finish alone.
class Activations {
  public:
    // On the thread that took the user's click or key, which may set the foreground. The
    // handles of workers that have ended go first.
    void Start(HWND client);
    bool Running(HWND client) const;

  private:
    static bool ended(const KernelHandle& thread);
    std::map<HWND, KernelHandle, HandleLess> workers;
};
