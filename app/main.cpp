// Entry point: one instance per logon, the three long-lived windows, the message loop.
#include <windows.h>

#include "app/globals.h"
#include "app/tray_win.h"
#include "dialogs/config_win.h"
#include "dialogs/version_win.h"
#include "ui/handles.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int) {
    moduleInstance = hInstance;

    SetLastError(ERROR_SUCCESS);
    KernelHandle instanceMutex(CreateMutexW(nullptr, FALSE, instanceMutexName));
    if (!instanceMutex || GetLastError() != ERROR_SUCCESS) return 0;

    // the tray and everything after it may use both published pointers
    CConfigWin config;
    configWindow = &config;
    CVersionWin version;
    versionWindow = &version;
    CTrayWin tray;

    if (IsWindow(tray.createWindow(0, 0, 0, 0, 0, 0))) {
        MSG msg{};
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // then the tray, version and configuration teardowns, in reverse order of construction
    instanceMutex.reset();
    return 0;
}
