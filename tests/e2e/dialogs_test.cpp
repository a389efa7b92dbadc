#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/messages.h"
#include "dialogs/config_win.h"
#include "dialogs/version_win.h"
#include "tests/support/scheme_handler.h"
#include "tests/support/skarvel_process.h"
#include "ui/window.h"

namespace {

using testkit::waitUntil;

constexpr wchar_t settingsKey[] = L"Software\\Skarvel";
constexpr int stripHeight = 17;

class Dialogs : public testing::Test {
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
    }
    DWORD pid() const { return skarvel.process.id(); }
    HWND waitShown(int width, int height) { return waitShownWindow(pid(), height, width); }
    HWND strip() {
        const auto all = shownWindows(pid(), stripHeight);
        return all.empty() ? nullptr : all[0];
    }
    Skarvel skarvel;
};

constexpr POINT opensClientsBox{14, 72};

TEST_F(Dialogs, OkFromTheSwitcherHidesAndShowsTheStrip) {
    auto clients = testkit::startClients({L"--title \"QOR - Alice\""});
    ASSERT_TRUE(clients[0].hwnd);
    start();
    ASSERT_TRUE(waitUntil([&] { return strip() != nullptr; }, 5000));
    const HWND switcher = strip();

    ASSERT_TRUE(PostMessageW(switcher, UM_COMMAND, cmdConfigure, 0));
    const HWND config = waitShown(configWidth, configHeight);
    ASSERT_TRUE(config);
    // "Configure" again leaves the open window as it is
    PostMessageW(switcher, UM_COMMAND, cmdConfigure, 0);
    postCommand(skarvel.tray, cmdConfigure);
    ASSERT_TRUE(answers(skarvel.tray));
    EXPECT_EQ(shownWindows(pid(), configHeight, configWidth), std::vector<HWND>{config});

    clickWindow(config, showSwitcherBox);
    EXPECT_EQ(storedNumber(L"Client Switcher"), 1u) << "nothing saved before OK";
    EXPECT_TRUE(IsWindowVisible(switcher));
    clickWindow(config, configOkPoint);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(config); }, 3000));
    EXPECT_EQ(storedNumber(L"Client Switcher"), 0u);
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(switcher); }, 3000));

    // and back on, from the tray this time, with the switcher opening clients
    postCommand(skarvel.tray, cmdConfigure);
    const HWND again = waitShown(configWidth, configHeight);
    ASSERT_TRUE(again);
    clickWindow(again, showSwitcherBox);
    clickWindow(again, opensClientsBox);
    clickWindow(again, configOkPoint);
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
    clickWindow(config, showSwitcherBox);
    clickWindow(config, opensClientsBox);
    EXPECT_TRUE(exitSkarvel(skarvel));
    skarvel.tray = nullptr;
    EXPECT_EQ(storedNumber(L"Client Switcher"), 1u);
    EXPECT_EQ(storedNumber(L"Use switcher to open clients"), 0u);
}

TEST_F(Dialogs, TheLinkOpensTheSupportPageThroughTheShellAndTheWindowStays) {
    SchemeHandler handler;
    start();
    postCommand(skarvel.tray, cmdVersion);
    const HWND version = waitShown(versionWidth, versionHeight);
    ASSERT_TRUE(version);

    // pressed, moved off and back, released: nothing opens
    deliver(version, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 27));
    deliver(version, WM_MOUSEMOVE, 0, MAKELPARAM(40, 45));
    deliver(version, WM_MOUSEMOVE, 0, MAKELPARAM(40, 27));
    deliver(version, WM_LBUTTONUP, 0, MAKELPARAM(40, 27));
    Sleep(1000);
    EXPECT_TRUE(handler.opened(supportAddress).empty());

    clickWindow(version, {40, 27});
    EXPECT_TRUE(waitUntil([&] { return handler.opened(supportAddress).size() == 1; }, 10000))
        << "the shell did not start the handler";
    EXPECT_TRUE(IsWindowVisible(version));
    clickWindow(version, {320, 30}); // right of the text, still the link
    EXPECT_TRUE(waitUntil([&] { return handler.opened(supportAddress).size() == 2; }, 10000));
    EXPECT_TRUE(IsWindowVisible(version));
}

} // namespace
