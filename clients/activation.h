// Bringing a client to the front, as a click on its cell or a key does.
#pragma once
#include <windows.h>

#include <map>

#include "clients/client_list.h"
#include "ui/handles.h"

// Restores a minimised client and brings it to the front; where it did not come, and nothing
// else came either, it asks once more. Runs on a worker thread, so that no wait for the client
// ever holds up the window that asked.
unsigned __stdcall ActivateClient(void* window);

// Activations under way, one worker per client: a hung client holds up its own worker, never
// the window that asked, and is not asked again while that worker runs.
class Activations {
  public:
    // On the thread that took the user's click or key, which may set the foreground.
    void Start(HWND client);
    bool Running(HWND client) const;
    // Lets go of the handles of ended workers whose client `keep` no longer wants.
    template <class Keep> void Sweep(Keep keep) {
        for (auto it = workers.begin(); it != workers.end();) {
            if (!keep(it->first) && ended(it->second))
                it = workers.erase(it);
            else
                ++it;
        }
    }
    size_t Count() const { return workers.size(); }
    // Workers are never terminated: closing their handles lets them finish alone.
    void Clear() { workers.clear(); }

  private:
    static bool ended(const KernelHandle& thread);
    std::map<HWND, KernelHandle, HandleLess> workers;
};
