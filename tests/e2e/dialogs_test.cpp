#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/settings.h"
#include "dialogs/config_win.h"
#include "dialogs/keys_win.h"
#include "dialogs/version_win.h"
#include "tests/support/scheme_handler.h"
#include "tests/support/skarvel_process.h"
#include "ui/window.h"

namespace {

using testkit::waitUntil;

constexpr wchar_t settingsKey[] = L"Software\\Skarvel";
constexpr int stripHeight = 17;

// Sizes and points are the 96-DPI ones scaled to the screen's scale, which under Wine is the
// program's too; tools/test.sh runs these tests at 96 and 144 DPI.

class Dialogs : public testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey);
        parkPointer();
    }
    void TearDown() override {
        if (skarvel.tray) {
            EXPECT_TRUE(exitSkarvel(skarvel));
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey);
    }
    void start() {
        skarvel = startSkarvel();
        ASSERT_TRUE(skarvel.tray);
    }
    DWORD pid() const { return skarvel.process.id(); }
    HWND waitShown(int width, int height) {
        return waitShownWindow(pid(), scale(height), scale(width));
    }
    HWND strip() {
        const auto all = shownWindows(pid(), scale(stripHeight));
        return all.empty() ? nullptr : all[0];
    }
    // the pointer goes to the point, and back to where no window opens under it
    void click(HWND window, POINT at96) {
        const POINT at = scale(at96);
        POINT onScreen = at;
        ClientToScreen(window, &onScreen);
        testkit::moveCursor(onScreen.x, onScreen.y);
        clickWindow(window, at);
        parkPointer();
    }
    // Where a point of a window, given at 96 DPI, is on the screen.
    POINT onScreen(HWND window, POINT at96) const {
        RECT r{};
        GetWindowRect(window, &r);
        const POINT at = scale(at96);
        return POINT{r.left + at.x, r.top + at.y};
    }
    const Scale scale = Scale::ofScreen();
    Skarvel skarvel;
};

constexpr POINT opensClientsBox{14, 72}, fitNewClientsBox{14, 87};

TEST_F(Dialogs, OkFromTheSwitcherHidesAndShowsTheStrip) {
    auto clients = testkit::startClients({L"--title \"QOR - Alice\""});
    ASSERT_TRUE(clients[0].hwnd);
    start();
    // the strip hides for a moment when its first cells come: the handle is kept when found
    HWND switcher = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (switcher = strip()) != nullptr; }, 5000));

    ASSERT_TRUE(PostMessageW(switcher, UM_COMMAND, cmdConfigure, 0));
    const HWND config = waitShown(configWidth, configHeight);
    ASSERT_TRUE(config);
    // "Configure" again leaves the open window as it is
    PostMessageW(switcher, UM_COMMAND, cmdConfigure, 0);
    postCommand(skarvel.tray, cmdConfigure);
    ASSERT_TRUE(answers(skarvel.tray));
    EXPECT_EQ(shownWindows(pid(), scale(configHeight), scale(configWidth)),
              std::vector<HWND>{config});

    click(config, showSwitcherBox);
    EXPECT_EQ(storedNumber(L"Client Switcher"), 1u) << "nothing saved before OK";
    EXPECT_TRUE(IsWindowVisible(switcher));
    click(config, configOkPoint);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(config); }, 3000));
    EXPECT_EQ(storedNumber(L"Client Switcher"), 0u);
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(switcher); }, 3000));

    // and back on, from the tray this time, with the switcher opening clients
    postCommand(skarvel.tray, cmdConfigure);
    const HWND again = waitShown(configWidth, configHeight);
    ASSERT_TRUE(again);
    click(again, showSwitcherBox);
    click(again, opensClientsBox);
    click(again, configOkPoint);
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(switcher) != FALSE; }, 3000));
    EXPECT_EQ(storedNumber(L"Client Switcher"), 1u);
    EXPECT_EQ(storedNumber(L"Use switcher to open clients"), 1u);
    for (auto& c : clients)
        c.process.kill();
}

TEST_F(Dialogs, ExitWithBothWindowsOpenSavesNothing) {
    start();
    postCommand(skarvel.tray, cmdConfigure);
    postCommand(skarvel.tray, cmdVersion);
    const HWND config = waitShown(configWidth, configHeight);
    ASSERT_TRUE(config);
    ASSERT_TRUE(waitShown(versionWidth, versionHeight));
    click(config, showSwitcherBox);
    click(config, opensClientsBox);
    click(config, fitNewClientsBox);
    EXPECT_TRUE(exitSkarvel(skarvel));
    skarvel.tray = nullptr;
    EXPECT_EQ(storedNumber(L"Client Switcher"), 1u);
    EXPECT_EQ(storedNumber(L"Use switcher to open clients"), 0u);
    EXPECT_EQ(storedNumber(L"Fit new clients"), absentNumber);
}

TEST_F(Dialogs, TheLinkOpensTheSupportPageThroughTheShellAndTheWindowStays) {
    SchemeHandler handler;
    start();
    postCommand(skarvel.tray, cmdVersion);
    const HWND version = waitShown(versionWidth, versionHeight);
    ASSERT_TRUE(version);

    // pressed, moved off and back, released: nothing opens
    const POINT on = scale(POINT{40, 27}), off = scale(POINT{40, 45});
    deliver(version, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(on.x, on.y));
    deliver(version, WM_MOUSEMOVE, 0, MAKELPARAM(off.x, off.y));
    deliver(version, WM_MOUSEMOVE, 0, MAKELPARAM(on.x, on.y));
    deliver(version, WM_LBUTTONUP, 0, MAKELPARAM(on.x, on.y));
    Sleep(1000);
    EXPECT_TRUE(handler.opened(supportAddress).empty());

    click(version, {40, 27});
    EXPECT_TRUE(waitUntil([&] { return handler.opened(supportAddress).size() == 1; }, 10000))
        << "the shell did not start the handler";
    EXPECT_TRUE(IsWindowVisible(version));
    click(version, {320, 30}); // right of the text, still the link
    EXPECT_TRUE(waitUntil([&] { return handler.opened(supportAddress).size() == 2; }, 10000));
    EXPECT_TRUE(IsWindowVisible(version));
}

// The windows as a user at this scale sees them: their size, and real clicks through the
// window manager on a check box, OK and Close, at the 96-DPI points scaled.
TEST_F(Dialogs, AtTheScreensScaleARealClickHitsTheControls) {
    // a run meant for a scaled display proves nothing at 96 DPI
    if (const char* dpi = std::getenv("SKARVEL_TEST_DPI")) {
        ASSERT_EQ(int(scale.dpi), std::atoi(dpi));
    }
    start();
    postCommand(skarvel.tray, cmdConfigure);
    postCommand(skarvel.tray, cmdVersion);
    const HWND config = waitShown(configWidth, configHeight);
    const HWND version = waitShown(versionWidth, versionHeight);
    ASSERT_TRUE(config) << "no configuration window " << scale(configWidth) << " x "
                        << scale(configHeight);
    ASSERT_TRUE(version) << "no version window " << scale(versionWidth) << " x "
                         << scale(versionHeight);
    // apart, so neither covers the other's controls
    SetWindowPos(version, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(config, nullptr, 20, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    testkit::clickScreen(onScreen(config, opensClientsBox));
    testkit::clickScreen(onScreen(config, fitNewClientsBox));
    testkit::clickScreen(onScreen(config, configOkPoint));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(config); }, 3000));
    EXPECT_EQ(storedNumber(L"Use switcher to open clients"), 1u);
    EXPECT_EQ(storedNumber(L"Fit new clients"), 1u);
    testkit::clickScreen(onScreen(version, {308, 45})); // Close
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(version); }, 3000));
}

// Each window moves with a real drag from a point on no control, the system's own move loop
// carrying it (on Windows across monitors of another scale too); the press acts on nothing, and
// the version window leaves the front where it was.
TEST_F(Dialogs, EachMovesWithARealDragFromAFreePoint) {
    start();
    postCommand(skarvel.tray, cmdConfigure);
    const HWND config = waitShown(configWidth, configHeight);
    ASSERT_TRUE(config);
    testkit::clickScreen(onScreen(config, {30, 139})); // KEYS
    const HWND keys = waitShown(keysWidth, keysHeight);
    ASSERT_TRUE(keys);
    postCommand(skarvel.tray, cmdVersion);
    const HWND version = waitShown(versionWidth, versionHeight);
    ASSERT_TRUE(version);
    const struct {
        const char* what;
        HWND window;
        POINT place96, free96; // apart, so that none covers another's free point
    } rows[] = {
        {"configuration, by its title", config, {20, 20}, {100, 8}},
        {"keys, by a field's label", keys, {20, 250}, {40, 47}},
        {"version, by its credit line", version, {400, 20}, {100, 45}},
    };
    for (const auto& row : rows) {
        const POINT place = scale(row.place96);
        SetWindowPos(row.window, nullptr, place.x, place.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const HWND front = GetForegroundWindow();
        const POINT from = onScreen(row.window, row.free96), by = scale(POINT{60, 40});
        const POINT place = scale(row.place96), to{place.x + by.x, place.y + by.y};
        auto follows = [&](POINT pointer) {
            RECT r{};
            GetWindowRect(row.window, &r);
            return r.left - place.x == pointer.x - from.x && r.top - place.y == pointer.y - from.y;
        };
        EXPECT_TRUE(testkit::dragScreen(from, {from.x + by.x, from.y + by.y}, 20, follows))
            << "it did not follow the pointer";
        RECT moved{};
        GetWindowRect(row.window, &moved);
        EXPECT_EQ(moved.left, to.x);
        EXPECT_EQ(moved.top, to.y);
        if (row.window == version) {
            EXPECT_EQ(GetForegroundWindow(), front) << "it took the front";
        }
    }
    for (const auto& row : rows)
        EXPECT_TRUE(IsWindowVisible(row.window)) << row.what;
    EXPECT_EQ(storedNumber(L"Switch keys"), absentNumber) << "a press acted on a control";
}

// Real clicks: KEYS in the configuration window opens the keys window in front, the
// configuration staying open behind it, and OK there stores the keys.
TEST_F(Dialogs, TheKeysButtonOpensTheKeysWindowWhoseOkStoresTheKeys) {
    start();
    postCommand(skarvel.tray, cmdConfigure);
    const HWND config = waitShown(configWidth, configHeight);
    ASSERT_TRUE(config);
    testkit::clickScreen(onScreen(config, {30, 139}));
    const HWND keys = waitShown(keysWidth, keysHeight);
    ASSERT_TRUE(keys) << "no keys window " << scale(keysWidth) << " x " << scale(keysHeight);
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == keys; }, 3000))
        << "not in front, where the keys pressed go";
    EXPECT_TRUE(IsWindowVisible(config));
    testkit::clickScreen(onScreen(keys, {14, 27}));  // "SWITCH WITH KEYS"
    testkit::clickScreen(onScreen(keys, {150, 47})); // the next client's field
    // the click on OK comes after the keys in the same input stream
    testkit::pressKeysElsewhere({VK_MENU, VK_SHIFT, VK_NEXT});
    testkit::clickScreen(onScreen(keys, {186, 124})); // OK
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(keys); }, 3000));
    const DWORD altShiftPageDown = storedKey(VK_NEXT, MOD_ALT | MOD_SHIFT);
    EXPECT_EQ(storedNumber(L"Switch keys"), 1u);
    EXPECT_TRUE(
        waitUntil([&] { return storedNumber(L"Next client key") == altShiftPageDown; }, 3000));
    EXPECT_EQ(storedNumber(L"Place keys"), defaultPlaceKeys);

    // and the new key works at once, in place of the old one
    auto clients = testkit::startClients(
        {L"--title \"QOR - Alice\" --pos 100,150", L"--title \"QOR - Bob\" --pos 450,150"});
    ASSERT_TRUE(clients[0].hwnd && clients[1].hwnd);
    ASSERT_TRUE(testkit::bringToFront(clients[0].hwnd));
    auto held = [](DWORD key) { return testkit::hotKeyTaken(HIWORD(key), LOWORD(key)); };
    EXPECT_TRUE(waitUntil([&] { return held(altShiftPageDown); }, 2000));
    EXPECT_FALSE(held(defaultNextClientKey));
    testkit::pressKeysElsewhere({VK_MENU, VK_SHIFT, VK_NEXT});
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == clients[1].hwnd; }, 3000));
}

} // namespace
