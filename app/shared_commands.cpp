#include "app/shared_commands.h"

#include "core/game_client.h"
#include "core/messages.h"
#include "core/settings.h"
#include "dialogs/config_win.h"
#include "dialogs/version_win.h"

bool SharedCommands::Run(WPARAM command, HWND configOpener, HWND versionOpener) {
    switch (command) {
    case cmdSetClients:
        if (newClients) newClients->LeaveToPlayer();
        passes.Start(fitPass, reportTo, UM_PASSREPORT, loadPlaces());
        return true;
    case cmdRestore:
        if (newClients) newClients->LeaveToPlayer();
        passes.Start(restorePass, reportTo, UM_PASSREPORT, loadPlaces());
        return true;
    case cmdOpenClient:
        openClient(settings.clientPath);
        return true;
    case cmdConfigure:
        // an open one is left as it is
        if (configDialog && !IsWindow(configDialog->hwnd)) configDialog->Create(configOpener);
        return true;
    case cmdVersion:
        if (versionDialog && !IsWindow(versionDialog->hwnd)) versionDialog->Create(versionOpener);
        return true;
    case cmdExit:
        PostQuitMessage(0);
        return true;
    default:
        return false;
    }
}
