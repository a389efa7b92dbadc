// The commands that the tray menu and the switcher menu share, carried out in one place:
// 1 "Set clients", 2 "Restore", 5 "Open client", 6 "Configure", 7 "Version", 8 "Exit".
#pragma once
#include <windows.h>

#include "clients/client_pass.h"
#include "clients/new_clients.h"
#include "clients/selector_win.h"

class CConfigWin;
class CVersionWin;

class SharedCommands : public StripCommands {
  public:
    // What "Configure" and "Version" open: the program's two dialogs, given by the owner.
    CConfigWin* configDialog = nullptr;
    CVersionWin* versionDialog = nullptr;
    // Told with UM_PASSREPORT when a pass has been through every client.
    HWND reportTo = nullptr;
    // "Fit new clients", which leaves a client to a pass the player asks for.
    NewClients* newClients = nullptr;

    // Carries out a shared command; the dialogs report to the opener given for each. False
    // for any other number, which is the caller's own business.
    bool Run(WPARAM command, HWND configOpener, HWND versionOpener) override;
    // The last finished pass's report, once.
    bool TakePassReport(PassReport& report) { return passes.TakeReport(report); }

  private:
    // one for the whole program, so a command from either menu supersedes the running pass
    ClientPasses passes;
};
