// Switching clients with keys: next, previous, last and by place. The keys are held only while
// a client is in front, so the same keys reach every other program.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "clients/activation.h"
#include "clients/client_list.h"

// The actions, which are also the ids the keys are held under.
enum SwitchAction : int {
    switchNext = 1,
    switchPrevious = 2,
    switchLast = 3,
    switchPlace1 = 4, // to switchPlace1 + 8, the digits 1 to 9
};
inline constexpr int switchActionCount = switchPlace1 + 9 - 1;

// RegisterHotKey's modifiers in words, each followed by "+": "CTRL+SHIFT+"; empty for none.
std::wstring modifiersText(DWORD modifiers);
// A key as stored (cleaned), in words: "CTRL+SHIFT+RIGHT"; empty for no key.
std::wstring keyText(DWORD key);
// The place keys' modifiers in words: "CTRL+SHIFT+1-9"; empty for none.
std::wstring placeKeysText(DWORD modifiers);

// Whether a key leaves typing alone, so that it can be offered for switching: a key that types
// a character here needs Ctrl, Alt or Win with it, and not Ctrl with Alt, which is AltGr on
// many layouts and types characters of its own.
bool leavesTyping(DWORD key);

struct KeyBinding {
    int action;
    DWORD key; // as stored
};
// Every key asked for, in action order; actions without a key are left out.
std::vector<KeyBinding> keyBindings(DWORD nextKey, DWORD previousKey, DWORD lastKey,
                                    DWORD placeModifiers);
// The first binding other than `action`'s that has this key, or 0.
int actionHolding(const std::vector<KeyBinding>& bindings, DWORD key, int action);

// The client an action brings to the front: `clients` in the strip's display order, `front`
// the one in front, `previous` the client that was in front before it. NULL when the action
// has no client to go to, or would go to the one already in front.
HWND switchTarget(const std::vector<HWND>& clients, HWND front, HWND previous, int action);

// Clients in the order the strip shows them, without asking any of them: names from the window
// manager's copy of each title, so a hung client cannot hold up a key.
std::vector<HWND> quietClientOrder();

// Whether another program holds this key: tried on `window` and let go at once.
bool keyHeldElsewhere(HWND window, DWORD key);

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
    // The window in front now: keys are held while it is a client and let go when anything
    // else is (none at all, for a moment while the front changes, is nothing else).
    void Follow(HWND front);
    // Follows the window in front now: the periodic look.
    void Look() { Follow(GetForegroundWindow()); }
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
    HWINEVENTHOOK hook = nullptr;
    bool hookDelivers = false; // the hook has told of a change at least once
    bool ownLook = false;      // no strip looks for the keys
    Activations* activations = nullptr;
};
