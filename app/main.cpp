// Entry point: one instance per logon, the three long-lived windows, the message loop.
#include <objbase.h>
#include <windows.h>

#include "app/tray_win.h"
#include "core/globals.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/rights.h"
#include "dialogs/config_win.h"
#include "dialogs/keys_win.h"
#include "dialogs/version_win.h"
#include "ui/window.h"

namespace {

// How long a copy asked to close may take, as the installer allows it.
constexpr DWORD closeWaitMs = 15000;

// A second start with higher rights than the running copy (started as administrator, to reach
// a client that runs so) takes its place: the running copy is asked to close as the installer
// asks it, and this one goes on once it has ended. Every other second start ends at once, so
// nothing lower ever closes a copy that has more rights.
bool tookOverFromLowerCopy() {
    const DWORD own = integrityLevel(GetCurrentProcess());
    const UINT closeRequest = RegisterWindowMessageW(closeRequestName);
    if (!own || !closeRequest) return false;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, windowClassName, nullptr)) != nullptr;) {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        const KernelHandle running(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
        if (!running) continue;
        const DWORD theirs = integrityLevel(running.get());
        if (!theirs || theirs >= own) return false;
        // only its tray window answers 1
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(window, closeRequest, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) ||
            answer != 1)
            continue;
        return WaitForSingleObject(running.get(), closeWaitMs) == WAIT_OBJECT_0;
    }
    return false;
}

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
    const DWORD created = GetLastError();
    if (!instanceMutex) return 0;
    // the handle keeps the mutex once the copy that made it has ended
    if (created != ERROR_SUCCESS && !tookOverFromLowerCopy()) return 0;

    // the shell wants an apartment on the thread that calls ShellExecuteW
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    runWindows(instanceMutex);
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
