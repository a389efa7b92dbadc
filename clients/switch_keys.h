// Switching clients with keys: next, previous, last and by place. The keys are held only while
// a client is in front, so the same keys reach every other program.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "clients/activation.h"
#include "clients/client_list.h"
#include "core/keys.h"

// The client an action brings to the front: `clients` in the strip's display order, `front`
// the one in front, `previous` the client that was in front before it. NULL when the action
// has no client to go to, or would go to the one already in front.
HWND switchTarget(const std::vector<HWND>& clients, HWND front, HWND previous, int action);

// Clients in the order the strip shows them, without asking any of them: names from the window
// manager's copy of each title, so a hung client cannot hold up a key.
std::vector<HWND> quietClientOrder();

// The keys of the settings, held for one window (which gets their WM_HOTKEY) while a client is
// in front.
class SwitchKeys {
  public:
    // The owner window's timer for the keys' own look at the foreground; its WM_TIMER goes to
    // Look.
    static constexpr UINT_PTR lookTimer = 2;

    SwitchKeys() = default;
    SwitchKeys(const SwitchKeys&) = delete;
    SwitchKeys& operator=(const SwitchKeys&) = delete;
    ~SwitchKeys();

    // Starts following the settings for `window`; switches go through `activations`, the
    // program's one owner of them.
    void Attach(HWND window, Activations* activations);
    // Takes the settings as they now are: lets go of every key and holds them again if a
    // client is in front.
    void Apply();
    bool On() const;
    // Lets go of every key and stops following, while the window still exists.
    void Detach();
    // The window in front now, by its root owner (a client's own dialog is that client): keys
    // are held while it is a client and let go when anything else is (none at all, for a
    // moment while the front changes, is nothing else).
    void Follow(HWND front);
    // Follows the window in front now: the periodic look.
    void Look() { Follow(clientInFront()); }
    // Whether something must look at the foreground every period: Windows tells the hook of
    // each change, but where it never does (Wine) a periodic look is all there is.
    bool NeedsLooking() const { return On() && !hookDelivers; }
    // The keys' own look runs every period while they need one and `stripLooks` is false (the
    // strip's tick looks for them while it runs); once the hook has told of a change, it runs
    // about once a second whoever ticks, for a change Windows did not tell.
    void LookBySelf(bool stripLooks);
    // A held key: switches, as long as a client is in front (or, for a moment, nothing);
    // `shown` is the strip's cells, empty while it shows none.
    void OnHotKey(int action, const std::vector<HWND>& shown);

    // The foreground hook told of a change.
    void OnForegroundEvent();

  private:
    void Hold();
    void Release();
    void Unhook();
    void UpdateLookTimer();

    HWND window = nullptr;
    HWND lastFront = nullptr;
    HWND frontClient = nullptr;    // the client in front, or the last one that was
    HWND previousClient = nullptr; // the one before it
    std::vector<int> held;         // the actions whose keys this program holds
    bool hookDelivers = false;     // the hook has told of a change at least once
    bool ownLook = false;          // no strip looks for the keys
    Activations* activations = nullptr;
};
