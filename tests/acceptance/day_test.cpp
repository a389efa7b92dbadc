// A user's day with the real skarvel.exe and stand-in clients, driven only from outside:
// the mouse and keyboard through SendInput, the icon's callback as the shell sends it, and
// the registry. Each step leaves a screenshot in $SKARVEL_SHOTS (default: shots\ beside
// the test).
#include <gtest/gtest.h>

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "clients/client_pass.h"
#include "clients/selector_win.h"
#include "clients/strip_draw.h"
#include "core/messages.h"
#include "dialogs/config_win.h"
#include "dialogs/keys_win.h"
#include "dialogs/version_win.h"
#include "tests/support/scheme_handler.h"
#include "tests/support/skarvel_process.h"
#include "tests/support/switcher_view.h"
#include "tools/qor/qor_protocol.h"
#include "ui/draw.h"
#include "ui/menu_win.h"
#include "ui/window.h"

namespace {

using testkit::waitUntil;

constexpr wchar_t settingsKey[] = L"Software\\Skarvel";
constexpr wchar_t runKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
// Sizes and points are given at 96 DPI and scaled by the screen's scale, which under Wine is
// the program's too; the screen grows with the scale (tools/screenshots.sh runs the day at
// 100 and 150 %).
POINT scaled(POINT at96) {
    return Scale::ofScreen()(at96);
}
// where the shell's notification area puts our icon, near enough for the menu's place
const POINT iconPoint = scaled({1240, 790});
const POINT parked = scaled({1100, 700});

std::wstring shotDir() {
    const wchar_t* dir = _wgetenv(L"SKARVEL_SHOTS");
    std::wstring path = dir && *dir ? dir : testkit::binDir() + L"shots";
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

void shot(const wchar_t* name, RECT area = {0, 0, 0, 0}) {
    if (IsRectEmpty(&area))
        area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    Sleep(150); // the last repaint reaches the screen
    EXPECT_TRUE(testkit::writeBitmap(shotDir() + name + L".bmp", testkit::readScreen(area)))
        << "screenshot " << testing::PrintToString(std::wstring(name));
}

RECT around(HWND window, int margin) {
    RECT r = windowRect(window);
    const int scaledMargin = Scale::ofScreen()(margin);
    InflateRect(&r, scaledMargin, scaledMargin);
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&r, &r, &screen);
    return r;
}

using testkit::clickScreen;

POINT onWindow(HWND window, POINT client) {
    const RECT r = windowRect(window);
    return {r.left + client.x, r.top + client.y};
}

void typeText(const std::wstring& text) {
    for (wchar_t c : text) {
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wScan = keys[1].ki.wScan = c;
        keys[0].ki.dwFlags = KEYEVENTF_UNICODE;
        keys[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof(INPUT));
    }
    Sleep(100);
}

SIZE clientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return {r.right, r.bottom};
}

class Day : public testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, runKey, L"Skarvel");
        testkit::moveCursor(parked.x, parked.y);
    }
    void TearDown() override {
        if (skarvel.process.running()) exitSkarvel(skarvel);
        for (testkit::StandIn& client : clients)
            client.process.kill();
        RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, runKey, L"Skarvel");
    }
    DWORD pid() const { return skarvel.process.id(); }

    // Of a size at 96 DPI.
    HWND waitProgramWindow(int height, int width = -1) const {
        const Scale scale = Scale::ofScreen();
        return waitShownWindow(pid(), scale(height), width < 0 ? width : scale(width));
    }
    // The icon is clicked: the shell reports it with the pointer on the icon.
    HWND openTrayMenu() {
        testkit::moveCursor(iconPoint.x, iconPoint.y);
        PostMessageW(skarvel.tray, UM_TRAYNOTIFY, 0, WM_LBUTTONUP);
        return waitProgramWindow(7 * menuItemHeight + 4);
    }
    HWND openSwitcherMenu(int rows) {
        clickScreen(onWindow(strip, scaled({4, 8})), true);
        return waitProgramWindow(rows * menuItemHeight + 4);
    }
    void chooseRow(HWND menu, int row) {
        ASSERT_TRUE(menu) << "no menu";
        clickScreen(onWindow(menu, scaled({30, 2 + menuItemHeight * row + 7})));
        EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(menu); }, 2000));
        testkit::moveCursor(parked.x, parked.y);
    }
    bool stripShows(const std::vector<std::wstring>& names) {
        const int width = predictedStripWidth(names);
        return waitUntil([&] { return IsWindowVisible(strip) && windowWidth(strip) == width; },
                         5000);
    }
    void startProgram() {
        skarvel = startSkarvel();
        ASSERT_TRUE(skarvel.tray);
        ASSERT_TRUE(waitUntil([&] { return iconExists(skarvel.tray); }, 5000)) << "no icon";
        ASSERT_TRUE(waitUntil([&] { return (strip = findSwitcher(pid())) != nullptr; }, 5000));
    }

    Skarvel skarvel;
    HWND strip = nullptr;
    std::vector<testkit::StandIn> clients;
};

TEST_F(Day, FromFirstStartToExit) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ASSERT_LT(work.bottom, GetSystemMetrics(SM_CYSCREEN)) << "the taskbar takes its room";

    // First start on an empty registry: the defaults are written, the icon is there, and with
    // no client running the strip waits out of sight.
    startProgram();
    EXPECT_EQ(storedNumber(L"Client Switcher"), 1u);
    EXPECT_EQ(storedNumber(L"Keep switcher open"), 0u);
    EXPECT_EQ(storedNumber(L"Use switcher to open clients"), 0u);
    EXPECT_EQ(storedNumber(L"Load at windows startup"), 0u);
    EXPECT_EQ(storedNumber(L"Switcher Position x"), 300u);
    EXPECT_EQ(storedNumber(L"Switcher Position y"), 0u);
    EXPECT_EQ(storedText(L"QOR Online path"), L"") << "no game installed here";
    EXPECT_EQ(windowWidth(strip), 0) << "no width until there is a client";
    shot(L"01-first-start");

    // Four clients of different sizes start: one cell each, in name order.
    clients = testkit::startClients({
        L"--title \"QOR - Alice\" --size 640x400 --pos 40,60",
        L"--title \"QOR - Dave\" --size 400x260 --pos 700,420",
        L"--title \"QOR - Bob\" --size 560x360 --pos 330,200",
        L"--title \"QOR - Cara\" --size 480x320 --pos 620,300",
    });
    for (const auto& client : clients)
        ASSERT_TRUE(client.hwnd);
    const HWND alice = clients[0].hwnd, dave = clients[1].hwnd, bob = clients[2].hwnd,
               cara = clients[3].hwnd;
    EXPECT_TRUE(stripShows({L"Alice", L"Bob", L"Cara", L"Dave"}));
    EXPECT_EQ(windowRect(strip).left, 300);
    EXPECT_EQ(windowRect(strip).top, 0);
    shot(L"02-four-clients");

    // The tray menu: "Set clients" fits every client borderless into the work area's corner.
    std::vector<SIZE> sizes;
    for (const auto& client : clients)
        sizes.push_back(clientSize(client.hwnd));
    HWND menu = openTrayMenu();
    ASSERT_TRUE(menu);
    shot(L"tray-menu", around(menu, 40));
    chooseRow(menu, 1);
    for (size_t i = 0; i < clients.size(); ++i) {
        const HWND c = clients[i].hwnd;
        // the style changes first, the place just after
        EXPECT_TRUE(waitUntil(
            [&] {
                return GetWindowLongW(c, GWL_STYLE) == fittedStyle &&
                       windowRect(c).left == work.left;
            },
            5000));
        EXPECT_EQ(windowRect(c).left, work.left);
        EXPECT_EQ(windowRect(c).top, work.top);
        EXPECT_EQ(clientSize(c).cx, sizes[i].cx);
        EXPECT_EQ(clientSize(c).cy, sizes[i].cy);
    }
    shot(L"fitted-clients");

    // "Restore" gives the frames back; the client areas keep their size.
    chooseRow(openTrayMenu(), 2);
    for (size_t i = 0; i < clients.size(); ++i) {
        const HWND c = clients[i].hwnd;
        EXPECT_TRUE(waitUntil([&] { return GetWindowLongW(c, GWL_STYLE) == restoredStyle; }, 5000));
        EXPECT_EQ(clientSize(c).cx, sizes[i].cx);
        EXPECT_EQ(clientSize(c).cy, sizes[i].cy);
    }
    shot(L"03-restored");

    // The strip follows: a rename, a minimised client that stays, a client that exits.
    deliver(bob, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"QOR - Bobby"));
    PostMessageW(cara, QOR_MINIMIZE, 0, 0);
    PostMessageW(dave, QOR_EXIT, 0, 0);
    EXPECT_TRUE(stripShows({L"Alice", L"Bobby", L"Cara"}));
    EXPECT_TRUE(waitUntil([&] { return IsIconic(cara) != FALSE; }, 3000));
    shot(L"04-renamed-minimised-exited");

    // Unlock, drag the strip by hand, lock: the place is stored and survives a restart.
    // It goes below the clients, which the restore left in the corner: under Wine a client
    // brought to the front can show above a topmost window it overlaps (Windows keeps the
    // strip on top), and the next step reads the strip from the screen.
    chooseRow(openSwitcherMenu(7), 2); // "Unlock"
    const RECT before = windowRect(strip);
    // the system moves it, and the strip follows each small step as a user would see it do
    const POINT stride = scaled({80, 120});
    const POINT from{before.left + 5, before.top + 8};
    EXPECT_TRUE(testkit::dragScreen(from, {from.x + 5 * stride.x, from.y + 5 * stride.y}, 6,
                                    [&](POINT pointer) {
                                        const RECT r = windowRect(strip);
                                        return r.left == pointer.x - 5 && r.top == pointer.y - 8;
                                    }));
    chooseRow(openSwitcherMenu(7), 2); // "Lock"
    EXPECT_EQ(storedNumber(L"Switcher Position x"), DWORD(before.left + 5 * stride.x));
    EXPECT_EQ(storedNumber(L"Switcher Position y"), DWORD(before.top + 5 * stride.y));
    chooseRow(openTrayMenu(), 6); // "Exit Skarvel"
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(skarvel.process.waitExit(10000, &code));
    EXPECT_EQ(code, 0u);
    startProgram();
    EXPECT_TRUE(stripShows({L"Alice", L"Bobby", L"Cara"}));
    EXPECT_EQ(windowRect(strip).left, before.left + 5 * stride.x);
    EXPECT_EQ(windowRect(strip).top, before.top + 5 * stride.y);
    shot(L"05-moved-and-restarted");
    // Alice stops answering: once Windows calls her hung, her cell is marked beside Cara's
    // dimmed one; then she answers again.
    EXPECT_TRUE(testkit::hang(alice, 7000));
    EXPECT_TRUE(waitUntil([&] { return IsHungAppWindow(alice) != FALSE; }, 7000));
    const RECT aliceMark = notAnsweringMark(predictedCells({L"Alice"})[0], Scale::ofScreen())[0];
    EXPECT_TRUE(waitUntil(
        [&] {
            return testkit::screenPixel(onWindow(strip, {aliceMark.left, aliceMark.top})) ==
                   linkColor;
        },
        3000));
    shot(L"switcher-states", around(strip, 12));
    EXPECT_TRUE(waitUntil([&] { return IsHungAppWindow(alice) == FALSE; }, 8000));

    // A click on Cara's cell brings her back and to the front, and lights her cell.
    const std::vector<RECT> cells = predictedCells({L"Alice", L"Bobby", L"Cara"});
    clickScreen(onWindow(strip, middleOf(cells[2])));
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == cara && !IsIconic(cara); }, 5000));
    testkit::moveCursor(parked.x, parked.y);
    const POINT lit = onWindow(strip, {cells[2].left + 2, 2});
    EXPECT_TRUE(waitUntil([&] { return testkit::screenPixel(lit) == accentColor; }, 3000));
    shot(L"switcher", around(strip, 12));

    // "Configure" from the strip: the switcher off, then on again from the tray with
    // "Use switcher to open clients" and the path of the client typed in.
    chooseRow(openSwitcherMenu(7), 4);
    HWND config = waitProgramWindow(configHeight, configWidth);
    ASSERT_TRUE(config);
    shot(L"configuration", around(config, 12));
    // its KEYS button opens the keys window over it; CLOSE there leaves the keys as they were
    clickScreen(onWindow(config, scaled({30, 139})));
    const HWND keys = waitProgramWindow(keysHeight, keysWidth);
    ASSERT_TRUE(keys);
    testkit::moveCursor(parked.x, parked.y);
    shot(L"keys", around(keys, 12));
    clickScreen(onWindow(keys, scaled({232, 124})));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(keys); }, 3000));
    EXPECT_EQ(storedNumber(L"Switch keys"), absentNumber);
    clickScreen(onWindow(config, scaled({14, 42})));   // "SHOW SWITCHER"
    clickScreen(onWindow(config, scaled({140, 139}))); // OK
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(config); }, 3000));
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(strip); }, 3000));
    EXPECT_EQ(storedNumber(L"Client Switcher"), 0u);

    chooseRow(openTrayMenu(), 4);
    config = waitProgramWindow(configHeight, configWidth);
    ASSERT_TRUE(config);
    clickScreen(onWindow(config, scaled({14, 42})));
    clickScreen(onWindow(config, scaled({14, 72})));   // "USE SWITCHER TO OPEN CLIENTS"
    clickScreen(onWindow(config, scaled({100, 117}))); // into the path field
    std::wstring path = testkit::binDir() + L"qor.exe";
    for (wchar_t& c : path)
        c = static_cast<wchar_t>(towlower(c));
    typeText(path);
    shot(L"06-configure-path");
    clickScreen(onWindow(config, scaled({140, 139})));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(config); }, 3000));
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(strip) != FALSE; }, 3000));
    std::wstring upper = path;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(towupper(c));
    EXPECT_EQ(storedText(L"QOR Online path"), upper) << "typed letters become capitals";
    EXPECT_EQ(storedNumber(L"Use switcher to open clients"), 1u);

    // "Open client" heads the strip's menu now, and starts one.
    const size_t before_open = testkit::findWindows(qorClassName, 0).size();
    chooseRow(openSwitcherMenu(8), 0);
    EXPECT_TRUE(waitUntil(
        [&] { return testkit::findWindows(qorClassName, 0).size() == before_open + 1; }, 10000))
        << "no client started";
    for (HWND window : testkit::findWindows(qorClassName, 0)) {
        bool ours = false;
        for (const auto& client : clients)
            ours |= client.hwnd == window;
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (!ours) clients.push_back({testkit::Process::adopt(owner), window});
    }
    EXPECT_TRUE(stripShows({L"Alice", L"Bobby", L"Cara", L"Client 04"}))
        << "a bare title is numbered after the three this run has seen";
    shot(L"07-opened-client");

    // "Version" and its link, opened through the shell by a stand-in browser.
    SchemeHandler browser;
    chooseRow(openSwitcherMenu(8), 6);
    const HWND version = waitProgramWindow(versionHeight, versionWidth);
    ASSERT_TRUE(version);
    testkit::moveCursor(onWindow(version, scaled({40, 27})).x,
                        onWindow(version, scaled({40, 27})).y);
    Sleep(150);
    shot(L"version", around(version, 12));
    clickScreen(onWindow(version, scaled({40, 27})));
    EXPECT_TRUE(waitUntil([&] { return browser.opened(supportAddress).size() == 1; }, 10000));
    EXPECT_TRUE(IsWindowVisible(version));
    clickScreen(onWindow(version, scaled({308, 45}))); // CLOSE
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(version); }, 3000));
    shot(L"08-before-exit");

    // "Exit Skarvel": the icon goes and the program ends cleanly.
    const HWND tray = skarvel.tray;
    chooseRow(openTrayMenu(), 6);
    code = STILL_ACTIVE;
    EXPECT_TRUE(skarvel.process.waitExit(10000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(iconExists(tray));
    EXPECT_FALSE(IsWindow(strip));
}

} // namespace
