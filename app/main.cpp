// Entry point: one instance per logon, the three long-lived windows, the message loop.
#include <objbase.h>
#include <windows.h>

#include "app/tray_win.h"
#include "core/globals.h"
#include "core/handles.h"
#include "dialogs/config_win.h"
#include "dialogs/keys_win.h"
#include "dialogs/version_win.h"

namespace {

// Builds the windows, runs the loop, and tears the windows down in reverse order on return.
void runWindows(KernelHandle& instanceMutex) {
    // the tray and everything after it may use the published pointers; the configuration
    // window opens the keys window, which is built first so that it outlives it
    CKeysWin keys;
    keysWindow = &keys;
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
    instanceMutex.reset();
}

} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int) {
    moduleInstance = hInstance;

    SetLastError(ERROR_SUCCESS);
    KernelHandle instanceMutex(CreateMutexW(nullptr, FALSE, instanceMutexName));
    if (!instanceMutex || GetLastError() != ERROR_SUCCESS) return 0;

    // the shell wants an apartment on the thread that calls ShellExecuteW
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    runWindows(instanceMutex);
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
