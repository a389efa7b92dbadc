#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "core/messages.h"
#include "tests/support/testkit.h"
#include "ui/draw.h"
#include "ui/menu_win.h"

namespace {

TEST(MenuGeometry, SizesRowsAndTheRowUnderAPoint) {
    EXPECT_EQ(menuSize(0, 0).cx, 2);
    EXPECT_EQ(menuSize(0, 0).cy, 4);
    EXPECT_EQ(menuSize(100, 6).cx, 102);
    EXPECT_EQ(menuSize(100, 6).cy, 94);
    const RECT row = menuRowRect(2, 102), label = menuLabelRect(2, 102);
    EXPECT_EQ(row.left, 2);
    EXPECT_EQ(row.top, 32);
    EXPECT_EQ(row.right, 100);
    EXPECT_EQ(row.bottom, 47);
    EXPECT_EQ(label.left, 8);
    EXPECT_EQ(label.top, 32);

    const SIZE menu = menuSize(100, 3); // 102 x 49
    struct Row {
        POINT point;
        int row;
    } rows[] = {
        {{0, 0}, 0},     {{50, 1}, 0},   {{50, 16}, 0},  {{50, 17}, 1},
        {{101, 46}, 2},  {{50, 47}, 3},  {{50, 48}, 3},  {{50, 49}, -1},
        {{102, 10}, -1}, {{-1, 10}, -1}, {{10, -1}, -1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(menuRowAt(r.point, menu), r.row) << r.point.x << "," << r.point.y;
}

// Near the work area's edges; and opened from an icon on a taskbar at each side of a
// 1280 x 800 monitor (or of a second monitor left of it): beside the taskbar, wholly in the
// work area, and open all the way from the icon to the menu, closed well away from both.
TEST(MenuGeometry, OpensInsideTheWorkAreaOnEverySideAndStaysOpenOnTheWayToIt) {
    const RECT work{0, 0, 1280, 780};
    const SIZE menu{120, 94};
    struct Row {
        const char* what;
        POINT at;
        POINT expected;
    } rows[] = {
        {"room everywhere", {300, 200}, {300, 200}},
        {"near the bottom: upward", {300, 700}, {300, 606}},
        {"exactly fits", {1160, 686}, {1160, 686}},
        {"near the right: pushed left", {1250, 200}, {1160, 200}},
        {"bottom-right corner", {1279, 779}, {1160, 685}},
        {"above and left of the area: pulled in", {-5, -5}, {0, 0}},
    };
    for (const Row& r : rows) {
        const POINT at = menuOrigin(r.at, menu, work);
        EXPECT_EQ(at.x, r.expected.x) << r.what;
        EXPECT_EQ(at.y, r.expected.y) << r.what;
    }

    struct TaskbarRow {
        const char* taskbar;
        RECT work;
        POINT icon;
        POINT expected;
    } taskbarRows[] = {
        {"bottom", {0, 0, 1280, 760}, {1200, 780}, {1160, 666}},
        {"right", {0, 0, 1220, 800}, {1250, 700}, {1100, 700}},
        {"left", {60, 0, 1280, 800}, {30, 400}, {60, 400}},
        {"top", {0, 40, 1280, 800}, {640, 20}, {640, 40}},
        {"top, in the far corner", {0, 40, 1280, 800}, {1275, 5}, {1160, 40}},
        {"left, on a monitor left of the main one", {-1220, 0, 0, 800}, {-1250, 790}, {-1220, 696}},
    };
    for (const TaskbarRow& r : taskbarRows) {
        const POINT at = menuOrigin(r.icon, menu, r.work);
        EXPECT_EQ(at.x, r.expected.x) << r.taskbar;
        EXPECT_EQ(at.y, r.expected.y) << r.taskbar;
        const RECT shown{at.x, at.y, at.x + menu.cx, at.y + menu.cy};
        RECT inside{};
        EXPECT_TRUE(IntersectRect(&inside, &shown, &r.work) && EqualRect(&inside, &shown))
            << r.taskbar << ": not wholly in the work area";

        // from the icon straight to each corner and the middle of the menu
        const POINT targets[] = {{shown.left, shown.top},
                                 {shown.right - 1, shown.top},
                                 {shown.left, shown.bottom - 1},
                                 {shown.right - 1, shown.bottom - 1},
                                 {(shown.left + shown.right) / 2, (shown.top + shown.bottom) / 2}};
        for (const POINT& target : targets)
            for (int step = 0; step <= 20; ++step) {
                const POINT on{r.icon.x + (target.x - r.icon.x) * step / 20,
                               r.icon.y + (target.y - r.icon.y) * step / 20};
                EXPECT_TRUE(menuKeepsOpen(on, shown, r.icon))
                    << r.taskbar << ": closes at " << on.x << "," << on.y;
            }
        // 6 px around both still counts; further away it closes
        EXPECT_TRUE(menuKeepsOpen({shown.left - 6, shown.top - 6}, shown, r.icon)) << r.taskbar;
        EXPECT_TRUE(menuKeepsOpen({r.icon.x + 6, r.icon.y + 6}, shown, r.icon)) << r.taskbar;
        for (POINT away :
             {POINT{shown.left - 40, shown.top - 40}, POINT{shown.right + 40, shown.bottom + 40}})
            EXPECT_FALSE(menuKeepsOpen(away, shown, r.icon))
                << r.taskbar << ": open at " << away.x << "," << away.y;
    }
}

// Collects what a menu posts to its opener.
class OpenerWin : public CWindow {
  public:
    std::vector<WPARAM> commands;
    LRESULT handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == UM_COMMAND) {
            commands.push_back(wParam);
            return 0;
        }
        return DefWindowProcW(window, msg, wParam, lParam);
    }
};

using testkit::pump;
using testkit::pumpUntil;

class Menu : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(opener.createWindow(WS_EX_TOOLWINDOW, WS_POPUP, 0, 0, 10, 10));
        menu.AppendItem(L"Open client", 5, false);
        menu.AppendItem(L"Set clients", 1, false);
        menu.AppendItem(L"Exit Skarvel", 8, true);
        ASSERT_TRUE(menu.createWindow(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WS_POPUP,
                                      0, 0, menuItemHeight, menuItemHeight));
        menu.opener = opener.hwnd;
    }
    void send(UINT msg, int x, int y) {
        SendMessageW(menu.hwnd, msg, msg == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(x, y));
    }
    void click(int x, int y) {
        send(WM_MOUSEMOVE, x, y);
        send(WM_LBUTTONDOWN, x, y);
        send(WM_LBUTTONUP, x, y);
    }
    void open() {
        SetCursorPos(200, 150);
        menu.ShowAt(200, 150);
        ASSERT_TRUE(IsWindowVisible(menu.hwnd));
    }
    RECT windowRect() const {
        RECT r{};
        GetWindowRect(menu.hwnd, &r);
        return r;
    }

    OpenerWin opener;
    CMenuWin menu;
};

TEST_F(Menu, MeasuresTheSameBeforeAndAfterItsWindowExists) {
    CMenuWin early;
    early.AppendItem(L"Open client", 5, false);
    early.AppendItem(L"Set clients", 1, false);
    early.AppendItem(L"Exit Skarvel", 8, true);
    EXPECT_EQ(early.Size().cx, menu.Size().cx);
    menu.Layout(); // now against the window's own DC
    EXPECT_EQ(early.Size().cx, menu.Size().cx);
    EXPECT_EQ(menu.Size().cy, 3 * 15 + 4);
    EXPECT_GT(menu.Size().cx, 40);
}

TEST_F(Menu, RendersFrameRowsAndHover) {
    open();
    const RECT r = windowRect();
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.top, 150);
    EXPECT_EQ(r.right - r.left, menu.Size().cx);
    EXPECT_EQ(r.bottom - r.top, menu.Size().cy);

    send(WM_MOUSEMOVE, 20, 2 + 15 + 7); // row 1
    EXPECT_EQ(menu.HoverIndex(), 1);
    const testkit::Pixels p = testkit::readBitmap(menu.BackBuffer());
    ASSERT_EQ(p.width, menu.Size().cx);
    ASSERT_EQ(p.height, menu.Size().cy);
    const int w = p.width, h = p.height;
    for (POINT ring : {POINT{0, 0}, POINT{w - 1, h - 1}, POINT{w / 2, 0}, POINT{0, h / 2}})
        EXPECT_EQ(p.at(ring.x, ring.y), backColor) << ring.x << "," << ring.y;
    for (POINT ring : {POINT{1, 1}, POINT{w - 2, h - 2}, POINT{w / 2, 1}, POINT{1, h / 2}})
        EXPECT_EQ(p.at(ring.x, ring.y), accentColor) << ring.x << "," << ring.y;
    // left of the labels, away from any glyph edge: the row fills
    for (int x = 2; x < 8; ++x) {
        EXPECT_EQ(p.at(x, 2 + 7), backColor) << x;
        EXPECT_EQ(p.at(x, 2 + 15 + 7), accentColor) << x;
        EXPECT_EQ(p.at(x, 2 + 30 + 7), backColor) << x;
    }
    EXPECT_EQ(p.at(3, h - 2), accentColor); // the frame below the last row is no row

    // a move within the same row renders nothing new
    const HBITMAP before = menu.BackBuffer();
    send(WM_MOUSEMOVE, 30, 2 + 15 + 3);
    EXPECT_EQ(menu.BackBuffer(), before);
}

// Windows sends WM_DPICHANGED when the menu's monitor changes scale, also while it opens; Wine
// never does, so the test sends it. An open menu stays open, laid out anew where it was opened:
// its rows, fonts and hit rows follow the new scale, and scaling back and forth gives back
// every object.
TEST_F(Menu, AChangeOfScaleLaysItOutAnewWhereItOpenedAndLeaksNothing) {
    const UINT start = menu.CurrentScale().dpi;
    const SIZE startSize = menu.Size();
    // how many pixel rows the first label's glyphs span (Wine's shrinking does not blend, so
    // glyph pixels are exactly the text colour)
    auto glyphRows = [&] {
        menu.Render();
        const testkit::Pixels p = testkit::readBitmap(menu.BackBuffer());
        const RECT label = menuLabelRect(0, menu.Size().cx, menu.CurrentScale());
        int rows = 0;
        for (int y = label.top; y < label.bottom; ++y) {
            bool glyph = false;
            for (int x = label.left; x < label.right && !glyph; ++x)
                glyph = p.at(x, y) == textColor;
            rows += glyph;
        }
        return rows;
    };
    const int startGlyphRows = glyphRows();
    struct Row {
        UINT dpi;
        int height; // three rows
    } rows[] = {{144, 74}, {96, 49}};
    auto change = [&](UINT dpi) {
        RECT suggested{0, 0, 100, 100};
        SendMessageW(menu.hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    };
    for (const Row& row : rows) {
        if (row.dpi == start) continue;
        open();
        change(row.dpi);
        EXPECT_TRUE(IsWindowVisible(menu.hwnd)) << row.dpi << ": closed";
        EXPECT_EQ(menu.Size().cy, row.height) << row.dpi;
        const RECT shown = windowRect();
        EXPECT_EQ(shown.left, 200) << row.dpi;
        EXPECT_EQ(shown.top, 150) << row.dpi;
        EXPECT_EQ(shown.bottom - shown.top, row.height) << row.dpi;
        EXPECT_EQ(shown.right - shown.left, menu.Size().cx) << row.dpi;
        const int expectedWidth = MulDiv(startSize.cx, int(row.dpi), int(start));
        EXPECT_NEAR(menu.Size().cx, expectedWidth, 3) << row.dpi;
        EXPECT_NEAR(glyphRows(), MulDiv(startGlyphRows, int(row.dpi), int(start)), 1)
            << row.dpi << ": the text font did not follow";
        // the second row's 96-DPI point, scaled
        const Scale s{row.dpi};
        click(s(20), s(2 + 15 + 7));
        pump();
        EXPECT_EQ(opener.commands, std::vector<WPARAM>{1}) << row.dpi;
        opener.commands.clear();
    }

    EXPECT_EQ(testkit::gdiGrowthOverScaleChanges(change, start, 100), 0);
}

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    reinterpret_cast<std::vector<HMONITOR>*>(list)->push_back(monitor);
    return TRUE;
}

// A hidden menu keeps the scale it was last laid out at, perhaps another monitor's: opening
// takes the scale of the monitor under the point before the menu is laid out and shown. Wine
// gives every monitor and window the one DPI of the session, so the menu is first set to the
// other of 96 and 144 to show the choice.
TEST_F(Menu, OpensAtTheScaleOfTheMonitorUnderThePoint) {
    std::vector<HMONITOR> monitors;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&monitors));
    ASSERT_FALSE(monitors.empty());
    for (HMONITOR monitor : monitors) {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(GetMonitorInfoW(monitor, &info));
        const POINT at{(info.rcWork.left + info.rcWork.right) / 2,
                       (info.rcWork.top + info.rcWork.bottom) / 2};
        const Scale expected = Scale::ofMonitor(monitor);
        menu.SetScale(Scale{expected.dpi == 96 ? 144u : 96u});
        SetCursorPos(at.x, at.y);
        menu.ShowAt(at.x, at.y);
        EXPECT_EQ(menu.CurrentScale().dpi, expected.dpi) << at.x << "," << at.y;
        EXPECT_EQ(menu.Size().cy, expected(3 * menuItemHeight + 4));
        const RECT shown = windowRect();
        EXPECT_EQ(shown.bottom - shown.top, menu.Size().cy);
        EXPECT_EQ(testkit::readBitmap(menu.BackBuffer()).height, menu.Size().cy);
        click(expected(20), expected(2 + 7)); // the first row, which closes it
        pump();
    }
}

TEST_F(Menu, LabelsAppearInCapitals) {
    CMenuWin lower, upper;
    lower.AppendItem(L"set clients \u00e9", 1, true);
    upper.AppendItem(L"SET CLIENTS \u00e9", 1, true);
    for (CMenuWin* m : {&lower, &upper}) {
        ASSERT_TRUE(m->createWindow(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WS_POPUP,
                                    0, 0, 15, 15));
        m->Render();
    }
    const testkit::Pixels a = testkit::readBitmap(lower.BackBuffer());
    const testkit::Pixels b = testkit::readBitmap(upper.BackBuffer());
    // the menus differ in width (measured in stored case), so compare the common label part
    const int width = std::min(a.width, b.width) - 2;
    int differing = 0, glyphs = 0;
    for (int y = 2; y < 17; ++y)
        for (int x = 8; x < width; ++x) {
            differing += a.at(x, y) != b.at(x, y);
            glyphs += b.at(x, y) == textColor;
        }
    EXPECT_GT(glyphs, 20);
    EXPECT_EQ(differing, 0);
}

TEST_F(Menu, PressAndReleaseOnOneItemChoosesItOnce) {
    open();
    send(WM_LBUTTONDOWN, 20, 2 + 15 + 5);
    send(WM_MOUSEMOVE, 25, 2 + 15 + 9); // moves within the item keep the press
    send(WM_LBUTTONUP, 25, 2 + 15 + 9);
    EXPECT_FALSE(IsWindowVisible(menu.hwnd));
    EXPECT_NE(GetCapture(), menu.hwnd);
    pump();
    ASSERT_EQ(opener.commands.size(), 1u);
    EXPECT_EQ(opener.commands[0], WPARAM(1));

    // the frame lines above the first row belong to it
    open();
    click(20, 0);
    pump();
    ASSERT_EQ(opener.commands.size(), 2u);
    EXPECT_EQ(opener.commands[1], WPARAM(5));
}

TEST_F(Menu, NoChoiceWithoutPressAndReleaseOnTheSameItem) {
    open();
    // press on one item, over another and back: the press is gone
    send(WM_LBUTTONDOWN, 20, 2 + 5);
    send(WM_MOUSEMOVE, 20, 2 + 15 + 5);
    send(WM_MOUSEMOVE, 20, 2 + 5);
    send(WM_LBUTTONUP, 20, 2 + 5);
    // the frame below the last row, and outside the menu
    const int bottom = menu.Size().cy - 1;
    click(20, bottom);
    click(-10, 20);
    click(20, menu.Size().cy + 10);
    // press outside, release on an item
    send(WM_LBUTTONDOWN, -10, 20);
    send(WM_LBUTTONUP, 20, 2 + 5);
    pump();
    EXPECT_TRUE(opener.commands.empty());
    EXPECT_TRUE(IsWindowVisible(menu.hwnd));
}

TEST_F(Menu, ClosesOnceThePointerLeavesUnlessOverTheOpener) {
    open();
    const RECT r = windowRect();
    // 6 px outside still counts as near
    SetCursorPos(r.right + 5, r.top + 5);
    pumpUntil([&] { return false; }, 300);
    EXPECT_TRUE(IsWindowVisible(menu.hwnd));

    // over the opener it stays open
    SetWindowPos(opener.hwnd, HWND_TOPMOST, 600, 500, 50, 50, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    SetCursorPos(620, 520);
    pumpUntil([&] { return false; }, 300);
    EXPECT_TRUE(IsWindowVisible(menu.hwnd));

    SetCursorPos(r.right + 40, r.bottom + 40);
    const ULONGLONG away = GetTickCount64();
    EXPECT_TRUE(pumpUntil([&] { return !IsWindowVisible(menu.hwnd); }, 2000));
    std::printf("closed %llu ms after the pointer left\n", GetTickCount64() - away);
    EXPECT_NE(GetCapture(), menu.hwnd);
    pump();
    EXPECT_TRUE(opener.commands.empty());
}

TEST_F(Menu, ItemsCanBeRenamedAndReplaced) {
    menu.ClearItems();
    menu.AppendItem(L"Unlock", 3, false);
    menu.AppendItem(L"Exit Skarvel", 8, true);
    menu.ReplaceItemText(L"unlock", L"Lock", true);
    EXPECT_STREQ(menu.Items()[0].text.c_str(), L"Unlock");
    menu.ReplaceItemText(L"Unlock", L"Lock", true);
    EXPECT_STREQ(menu.Items()[0].text.c_str(), L"Lock");
    EXPECT_EQ(menu.Items()[0].id, 3);

    menu.ClearItems();
    for (int i = 1; i <= 5; ++i)
        menu.AppendItem(L"Client", i, i == 5);
    open();
    const RECT r = windowRect();
    EXPECT_EQ(r.bottom - r.top, 5 * 15 + 4);
    EXPECT_EQ(testkit::readBitmap(menu.BackBuffer()).height, 5 * 15 + 4);
}

} // namespace
