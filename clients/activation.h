// Bringing a client to the front, as a click on its cell or a key does.
#pragma once
#include <windows.h>

#include <map>

#include "clients/client_list.h"
#include "core/handles.h"

// The window a window is known by: a client's own dialogs and popups are that client, so the
// first client window among its owners (a client may itself have a hidden owner), else its root
// owner.
HWND clientOf(HWND window);
// The same for the foreground window; NULL when nothing is in front.
HWND clientInFront();

// The program's activations under way, one worker per client, for clicks and keys alike: a
// hung client holds up its own worker, never the window that asked, and is not asked again
// while that worker runs. Workers are never terminated: closing their handles lets them
// finish alone.
class Activations {
  public:
    // On the thread that took the user's click or key, which may set the foreground only until
    // the user's next input: restores a minimised client and asks for the front here and now,
    // waiting for nothing. A worker then waits for the client to come and asks once more
    // where it did not and nothing else came either; a request Windows refused is not made
    // again. What comes forward is the client's last active popup, so a main window a dialog
    // has disabled never takes the focus. The handles of workers that have ended go first.
    void Start(HWND client);
    bool Running(HWND client) const;

  private:
    static bool ended(const KernelHandle& thread);
    std::map<HWND, KernelHandle, HandleLess> workers;
};
