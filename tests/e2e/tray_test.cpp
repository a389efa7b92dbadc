#include <gtest/gtest.h>

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>

#include "clients/client_pass.h"
#include "core/messages.h"
#include "tests/support/skarvel_process.h"
#include "ui/window.h"

namespace {

using testkit::waitUntil;

constexpr wchar_t settingsKey[] = L"Software\\Skarvel";
// At 96 DPI; sizes and points are scaled to the screen's scale, which under Wine is the
// program's too (tools/test.sh runs these tests at 96 and 144 DPI).
constexpr int trayMenuHeight = 7 * 15 + 4;

// The tray menu while it is open: the program's visible window seven rows high (no place is
// remembered).
HWND openMenu(DWORD pid) {
    const std::vector<HWND> menus = shownWindows(pid, Scale::ofScreen()(trayMenuHeight));
    return menus.empty() ? nullptr : menus.front();
}

RECT rectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

std::string readFileText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text(64 * 1024, '\0');
    DWORD read = 0;
    if (!ReadFile(file, text.data(), DWORD(text.size()), &read, nullptr)) read = 0;
    CloseHandle(file);
    text.resize(read);
    return text;
}

class Tray : public testing::Test {
  protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey); }
    void TearDown() override {
        if (skarvel.tray) {
            EXPECT_TRUE(exitSkarvel(skarvel));
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey);
    }
    void start() {
        skarvel = startSkarvel();
        ASSERT_TRUE(skarvel.tray);
        ASSERT_TRUE(waitUntil([&] { return iconExists(skarvel.tray); }, 5000)) << "no icon";
    }
    // A click on the icon as the shell reports it: the pointer is where the icon is.
    HWND clickIcon(int x, int y, UINT button = WM_LBUTTONUP) {
        testkit::moveCursor(x, y);
        deliver(skarvel.tray, UM_TRAYNOTIFY, 0, button);
        HWND menu = nullptr;
        waitUntil([&] { return (menu = openMenu(skarvel.process.id())) != nullptr; }, 2000);
        return menu;
    }
    static POINT rowPoint(int row) { return Scale::ofScreen()(POINT{20, 2 + 15 * row + 7}); }
    static void chooseRow(HWND menu, int row, bool realClick = false) {
        EXPECT_TRUE(chooseInMenu(menu, rowPoint(row), realClick)) << "row " << row;
    }

    Skarvel skarvel;
};

TEST_F(Tray, TheIconOpensTheMenuAtTheCursorOnButtonRelease) {
    start();
    testkit::moveCursor(400, 300);
    deliver(skarvel.tray, UM_TRAYNOTIFY, 0, WM_LBUTTONDOWN);
    deliver(skarvel.tray, UM_TRAYNOTIFY, 0, WM_MOUSEMOVE);
    deliver(skarvel.tray, UM_TRAYNOTIFY, 1, WM_LBUTTONUP); // another icon's id
    EXPECT_EQ(openMenu(skarvel.process.id()), nullptr);

    HWND menu = clickIcon(400, 300);
    ASSERT_TRUE(menu);
    EXPECT_EQ(rectOf(menu).left, 400);
    EXPECT_EQ(rectOf(menu).top, 300);
    EXPECT_EQ(GetForegroundWindow() == menu, false) << "the menu must not take the foreground";

    // the pointer moves away: the menu closes by itself and chooses nothing
    SetCursorPos(50, 50);
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(menu); }, 2000));

    // the right button too; near the work area's bottom-right corner it opens up and left
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    menu = clickIcon(work.right - 3, work.bottom - 3, WM_RBUTTONUP);
    ASSERT_TRUE(menu);
    EXPECT_EQ(rectOf(menu).right, work.right);
    EXPECT_EQ(rectOf(menu).bottom, work.bottom - 3);
}

TEST_F(Tray, MenuCommandsFitAndRestoreClients) {
    start();
    auto clients = testkit::startClients({L"--title \"QOR - Alice\" --size 640x480 --pos 300,200"});
    ASSERT_TRUE(clients[0].hwnd);
    const HWND client = clients[0].hwnd;

    // "Set clients" by a real click through the window manager
    // Wine may go on reporting the pointer where it stood before it was moved (seen for 2 s),
    // and a menu that sees it away rightly closes: opened again, as a user would
    bool chosen = false;
    for (int attempt = 0; attempt < 3 && !chosen; ++attempt)
        chosen = chooseInMenu(clickIcon(500, 400), rowPoint(1), true);
    EXPECT_TRUE(chosen) << "the menu closed before the click three times";
    EXPECT_TRUE(waitUntil([&] { return GetWindowLongW(client, GWL_STYLE) == fittedStyle; }, 5000));
    chooseRow(clickIcon(500, 400), 2); // "Restore"
    EXPECT_TRUE(
        waitUntil([&] { return GetWindowLongW(client, GWL_STYLE) == restoredStyle; }, 5000));
}

// In the client's own folder, as its shortcut starts it, not in the program's.
TEST_F(Tray, OpenClientStartsTheClientAtTheStoredPathInItsFolder) {
    const std::wstring folder = testkit::binDir();
    const std::wstring path = folder + L"qor.exe";
    // the program runs in this test's folder, which must not be the client's
    wchar_t own[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, own);
    ASSERT_NE(CompareStringOrdinal(own, -1, folder.c_str(), int(folder.size()) - 1, TRUE),
              CSTR_EQUAL);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, settingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"QOR Online path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   DWORD((path.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    // the client that "Open client" starts, with no arguments, logs where the program says
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    const std::wstring log = std::wstring(temp) + L"skarvel-open-client.log";
    DeleteFileW(log.c_str());
    SetEnvironmentVariableW(L"QOR_LOG", log.c_str());
    start();
    SetEnvironmentVariableW(L"QOR_LOG", nullptr);

    auto clientsNow = [] {
        std::vector<HWND> all;
        EnumWindows(
            [](HWND window, LPARAM list) {
                wchar_t name[64];
                if (GetClassNameW(window, name, 64) && wcscmp(name, L"qorMainView") == 0)
                    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&all));
        return all;
    };
    ASSERT_TRUE(clientsNow().empty());
    chooseRow(clickIcon(500, 400), 0); // "Open client"
    ASSERT_TRUE(waitUntil([&] { return !clientsNow().empty(); }, 10000)) << "no client started";
    DWORD pid = 0;
    GetWindowThreadProcessId(clientsNow().front(), &pid);
    testkit::Process opened = testkit::Process::adopt(pid); // ends it when the test ends
    EXPECT_TRUE(opened.running());

    // its "cwd" line: the client path's folder, without the final separator
    std::string text;
    waitUntil(
        [&] {
            text = readFileText(log);
            return text.find("cwd ") != std::string::npos;
        },
        5000);
    const size_t at = text.find("cwd ");
    ASSERT_NE(at, std::string::npos) << "the client logged no folder";
    const std::string line = text.substr(at + 4, text.find('\n', at) - at - 4);
    const std::wstring started(line.begin(), line.end()); // an ASCII build folder
    EXPECT_EQ(
        CompareStringOrdinal(started.c_str(), -1, folder.c_str(), int(folder.size()) - 1, TRUE),
        CSTR_EQUAL)
        << "started in " << line;
    DeleteFileW(log.c_str());
}

TEST_F(Tray, ExitRemovesTheIconAndEndsWithCodeZero) {
    start();
    const HWND tray = skarvel.tray;
    chooseRow(clickIcon(500, 400), 6); // "Exit Skarvel"
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(skarvel.process.waitExit(10000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(iconExists(tray));
    skarvel.tray = nullptr;
}

TEST_F(Tray, TaskbarCreatedKeepsOrAddsTheIconAndExitRemovesIt) {
    start();
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    // sent while the icon exists, as after a change of scale or resolution: the one icon
    // stays and still opens the menu
    ASSERT_TRUE(deliver(skarvel.tray, taskbarCreated, 0, 0));
    EXPECT_TRUE(iconExists(skarvel.tray));
    HWND menu = clickIcon(400, 300);
    ASSERT_TRUE(menu);
    SetCursorPos(50, 50);
    ASSERT_TRUE(waitUntil([&] { return !IsWindowVisible(menu); }, 2000));

    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = skarvel.tray;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data)); // as if Explorer had restarted
    ASSERT_FALSE(iconExists(skarvel.tray));
    deliver(skarvel.tray, taskbarCreated, 0, 0);
    EXPECT_TRUE(waitUntil([&] { return iconExists(skarvel.tray); }, 5000));

    // Wine also drops the icon of a destroyed window by itself: a delete left out at exit
    // would show only on Windows, as a dead icon
    const HWND tray = skarvel.tray;
    chooseRow(clickIcon(500, 400), 6); // "Exit Skarvel"
    EXPECT_TRUE(skarvel.process.waitExit(10000));
    EXPECT_FALSE(iconExists(tray));
    skarvel.tray = nullptr;
}

// A shell still starting at logon: its taskbar window exists but takes no icon yet.
int refusedIcons = 0;
LRESULT CALLBACK refusingTaskbar(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COPYDATA) {
        ++refusedIcons;
        return FALSE;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

TEST_F(Tray, AnIconTheShellRefusedAtStartIsAddedOnceItTakesIcons) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = refusingTaskbar;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Shell_TrayWnd";
    ASSERT_TRUE(RegisterClassExW(&wc));
    // topmost, so the shell's lookup finds it before the real taskbar
    HWND starting = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Shell_TrayWnd", L"",
                                    WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(starting);
    ASSERT_EQ(FindWindowW(L"Shell_TrayWnd", nullptr), starting);
    refusedIcons = 0;
    skarvel = startSkarvel();
    ASSERT_TRUE(skarvel.tray);
    EXPECT_TRUE(testkit::pumpUntil([] { return refusedIcons > 0; }, 5000)) << "no add tried";
    DestroyWindow(starting);
    UnregisterClassW(L"Shell_TrayWnd", wc.hInstance);
    ASSERT_FALSE(iconExists(skarvel.tray));
    // tried again every few seconds, with no TaskbarCreated
    EXPECT_TRUE(waitUntil([&] { return iconExists(skarvel.tray); }, 10000)) << "not tried again";
}

TEST_F(Tray, OpeningTheMenuTwoThousandTimesLeaksNothing) {
    start();
    const DWORD pid = skarvel.process.id();
    // "Open client" with no client path does nothing but close the menu
    auto cycle = [&] {
        SetCursorPos(500, 400);
        deliver(skarvel.tray, UM_TRAYNOTIFY, 0, WM_LBUTTONUP);
        HWND menu = openMenu(pid);
        if (!menu) return false;
        deliver(menu, WM_MOUSEMOVE, 0, MAKELPARAM(20, 2 + 15 * 3 + 7)); // hover renders
        chooseRow(menu, 0);
        return !IsWindowVisible(menu);
    };
    // Wine adds one cached DC (a DC, its region and its bitmap) within the first few dozen
    // renders, at no fixed moment: warm up past it before taking the baseline
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(cycle());
    const long gdi = testkit::countGdiObjects(pid), handles = testkit::countKernelHandles(pid);
    ASSERT_GT(gdi, 0);
    int failed = 0;
    for (int i = 0; i < 2000; ++i)
        failed += !cycle();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(testkit::countGdiObjects(pid), gdi);
    EXPECT_LE(testkit::countKernelHandles(pid), handles);
}

} // namespace
