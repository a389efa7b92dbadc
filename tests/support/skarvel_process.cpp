#include "tests/support/skarvel_process.h"

#include "app/messages.h"
#include "ui/window.h"

std::wstring skarvelExe() {
    return testkit::binDir() + L"skarvel.exe";
}

HWND findTrayWindow(DWORD pid) {
    for (HWND window : testkit::findWindows(windowClassName, pid))
        if (!(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) return window;
    return nullptr;
}

Skarvel startSkarvel() {
    Skarvel skarvel;
    skarvel.process = testkit::Process::start(skarvelExe());
    if (!skarvel.process.id()) return skarvel;
    testkit::waitUntil(
        [&] { return (skarvel.tray = findTrayWindow(skarvel.process.id())) != nullptr; }, 15000);
    return skarvel;
}

bool postCommand(HWND tray, WPARAM command) {
    return PostMessageW(tray, UM_COMMAND, command, 0) != FALSE;
}

bool answers(HWND window, UINT ms) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ms, &result) != 0;
}

bool exitSkarvel(Skarvel& skarvel, DWORD timeoutMs) {
    postCommand(skarvel.tray, cmdExit);
    DWORD code = STILL_ACTIVE;
    return skarvel.process.waitExit(timeoutMs, &code) && code == 0;
}
