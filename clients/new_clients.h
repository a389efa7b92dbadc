// "Fit new clients": each client fitted on its own, as "Set clients" fits it (to its place, or
// to the corner), when its title turns into a character's name.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "clients/client_list.h"
#include "clients/client_pass.h"

class NewClients {
  public:
    static constexpr UINT_PTR lookTimer = 3;
    static constexpr UINT_PTR recheckTimer = 4;

    // `owner` gets `lookMessage` posted when a window event asks for a look, `reportMessage`
    // when a fit has ended, and the two timers; it hands each back here.
    void Attach(HWND owner, UINT lookMessage, UINT reportMessage);
    void Detach();
    // Follows "Fit new clients": on, it listens and looks; off, it does nothing at all.
    void Apply();
    // Fits each client whose name it has not fitted under yet.
    void Look();
    // Whether it needs looking at all: on, where Windows does not report renames (Wine).
    bool NeedsLooking() const { return listening && !renamesArrive; }
    // Whether it looks by its own timer, where it needs looking: only while the strip does not
    // look for it.
    void LookBySelf(bool stripLooks);
    // A fit ended: its report, and each client it fitted is looked at once more shortly.
    bool TakeReport(PassReport& report);
    // A client the game moved back just after its fit is fitted once more; never again.
    void Recheck();
    // The player's own pass ("Set clients", "Restore") has the last word: no look once more.
    void LeaveToPlayer();

  private:
    static void onEvent(void* self, DWORD event, HWND window);
    void Fit(const std::vector<HWND>& clients);

    HWND owner = nullptr;
    UINT lookMessage = 0, reportMessage = 0;
    bool listening = false;
    bool eventsArrive = false;  // more than window creations are reported
    bool renamesArrive = false; // renames are reported: no look is needed
    bool lookPosted = false;
    bool seenOnce = false; // the clients of the first look were there before: not new
    bool ownLook = true;
    void UpdateLookTimer();
    ClientPasses passes; // its own, so a fit never stops the player's "Set clients"
    bool fitting = false;
    bool playerSince = false;  // a pass of the player's came since the running fit started
    std::vector<HWND> waiting; // to fit once the running fit ends
    std::map<HWND, std::wstring, HandleLess> fitted; // the name each client was fitted under
    std::map<HWND, RECT, HandleLess> justFitted;     // looked at once more, with their place
    std::vector<HWND> others;                        // windows known not to be clients
};
