#include "tests/support/skarvel_process.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "core/messages.h"
#include "dialogs/config_win.h"
#include "ui/draw.h"
#include "ui/window.h"

std::wstring skarvelExe() {
    return testkit::binDir() + L"skarvel.exe";
}

HWND findTrayWindow(DWORD pid) {
    for (HWND window : testkit::findWindows(windowClassName, pid))
        if (!(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) return window;
    return nullptr;
}

Skarvel startSkarvel(const std::wstring& exe) {
    Skarvel skarvel;
    skarvel.process = testkit::Process::start(exe);
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

bool deliver(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, msg, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

bool iconExists(HWND tray) {
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = tray;
    data.uID = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

std::vector<HWND> shownWindows(DWORD pid, int height, int width) {
    std::vector<HWND> found;
    for (HWND window : testkit::findWindows(windowClassName, pid)) {
        RECT r{};
        GetWindowRect(window, &r);
        if (IsWindowVisible(window) && r.bottom - r.top == height &&
            (width < 0 || r.right - r.left == width))
            found.push_back(window);
    }
    return found;
}

HWND waitShownWindow(DWORD pid, int height, int width, DWORD timeoutMs) {
    HWND found = nullptr;
    testkit::waitUntil(
        [&] {
            const std::vector<HWND> all = shownWindows(pid, height, width);
            found = all.size() == 1 ? all[0] : nullptr;
            return found != nullptr;
        },
        timeoutMs, 5);
    return found;
}

void clickWindow(HWND window, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    deliver(window, WM_MOUSEMOVE, 0, where);
    deliver(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    deliver(window, WM_LBUTTONUP, 0, where);
}

bool chooseInMenu(HWND menu, POINT at, bool realClick) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (realClick) {
            POINT screen = at;
            ClientToScreen(menu, &screen);
            // as a user does, the click waits for the row to light under the pointer: Wine may
            // still report the pointer where it stood when the menu opened, even away from it
            testkit::moveCursor(screen.x, screen.y);
            const int edge = Scale::ofScreen()(4);
            POINT rowEdge{edge, at.y};
            ClientToScreen(menu, &rowEdge);
            testkit::waitUntil([&] { return testkit::screenPixel(rowEdge) == accentColor; }, 6000);
            if (!IsWindowVisible(menu)) return false; // closed before the click: nothing chosen
            testkit::clickScreen(screen);
        } else {
            clickWindow(menu, at);
        }
        // a real click may reach the menu a second or two late under Wine: a second one then
        // would land on whatever is under the closed menu
        if (testkit::waitUntil([&] { return !IsWindowVisible(menu); }, realClick ? 4000 : 500))
            return true;
    }
    return false;
}

void parkPointer() {
    testkit::moveCursor(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) / 2);
}

bool toggleSwitcherSetting(const Skarvel& skarvel) {
    POINT parked{};
    GetCursorPos(&parked);
    parkPointer();
    postCommand(skarvel.tray, cmdConfigure);
    const Scale scale = Scale::ofScreen();
    const HWND config =
        waitShownWindow(skarvel.process.id(), scale(configHeight), scale(configWidth));
    if (config) {
        clickWindow(config, scale(showSwitcherBox));
        clickWindow(config, scale(configOkPoint));
    }
    const bool closed = config && testkit::waitUntil([&] { return !IsWindow(config); }, 3000);
    testkit::moveCursor(parked.x, parked.y);
    return closed;
}

namespace {
constexpr wchar_t settingsKey[] = L"Software\\Skarvel";
}

DWORD storedNumber(const wchar_t* name) {
    DWORD value = absentNumber, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, settingsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return absentNumber;
    return value;
}

std::wstring storedText(const wchar_t* name) {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, settingsKey, name, RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS)
        return L"<none>";
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = DWORD(text.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, settingsKey, name, RRF_RT_REG_SZ, nullptr, text.data(),
                     &size) != ERROR_SUCCESS)
        return L"<none>";
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}
