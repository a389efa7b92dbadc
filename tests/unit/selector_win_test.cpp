#include <gtest/gtest.h>

#include <string>

#include "clients/client_list.h"
#include "clients/selector_win.h"
#include "clients/switch_keys.h"
#include "clients/window_events.h"
#include "core/game_client.h"
#include "core/messages.h"
#include "core/settings.h"
#include "tests/support/testkit.h"
#include "ui/draw.h"

namespace {

LRESULT CALLBACK plainProcedure(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProcW(h, m, w, l);
}

// The keys' owner window, as the tray window is: its look timer goes to the keys.
SwitchKeys* lookingKeys = nullptr;
LRESULT CALLBACK keysOwnerProcedure(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_TIMER && w == SwitchKeys::lookTimer && lookingKeys) lookingKeys->Look();
    return DefWindowProcW(h, m, w, l);
}

// A switcher of this process over "qorMainView" windows of this process. Its timer is never
// dispatched: the test runs each refresh itself, and pumps only so its scan worker can read
// titles.
class Selector : public testing::Test {
  protected:
    void SetUp() override {
        settings = Settings();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = plainProcedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = clientClassName;
        RegisterClassExW(&wc);
        ASSERT_TRUE(switcher.Create(nullptr));
        KillTimer(switcher.hwnd, 0);
    }
    void TearDown() override {
        DestroyWindow(alice);
        DestroyWindow(bob);
        UnregisterClassW(clientClassName, GetModuleHandleW(nullptr));
    }
    HWND client(const wchar_t* title, int x) {
        return CreateWindowExW(0, clientClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, 300,
                               200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    // One refresh that sees what the windows are now. A scan woken earlier may have read
    // titles before they changed, so it ends first, and the short period since it was woken
    // passes; then a new one is woken, its title reads answered here, and its list merged.
    void refreshFully() {
        auto scanned = [&] { return !switcher.Scanning(); };
        ASSERT_TRUE(testkit::pumpUntil(scanned, 2000));
        testkit::pumpFor(90);
        switcher.RefreshClients();
        ASSERT_TRUE(testkit::pumpUntil(scanned, 2000));
        switcher.RefreshClients();
    }
    void bringForward(HWND window) {
        SetForegroundWindow(window);
        ASSERT_TRUE(testkit::pumpUntil([&] { return GetForegroundWindow() == window; }, 2000));
    }
    RECT cellOf(int cell, Scale scale = {}) const {
        std::vector<int> widths;
        for (const HWND window : switcher.Order())
            widths.push_back(switcher.Records().at(window).width);
        return cellRects(widths, scale)[size_t(cell)];
    }
    // The fill just inside a cell's frame, as the back buffer holds it.
    COLORREF fillOf(int cell) const {
        return testkit::readBitmap(switcher.BackBuffer()).at(cellOf(cell).left + 2, 2);
    }
    HWND plainWindow(const wchar_t* title, DWORD style) {
        return CreateWindowExW(0, L"STATIC", title, WS_POPUP | style, 700, 300, 60, 40, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    }

    CSelectorWin switcher;
    HWND alice = nullptr;
    HWND bob = nullptr;
};

// A redraw for a changed list shows the foreground of that moment; when the foreground
// then goes back to the one an earlier quiet refresh saw, the strip must follow it too.
// Only another program's visible window over the strip covers it: not a hidden tooltip or closed
// menu, nor the program's own menu or dialog, nor a window elsewhere on the desktop; and never
// while its own menu is open.
TEST(StripOnTop, RisesOnlyOverAnotherProgramsVisibleWindow) {
    const WindowAbove hidden{false, false}, shown{true, false}, own{true, true},
        elsewhere{true, false, false};
    const struct {
        bool cells, menuOpen;
        std::vector<WindowAbove> above;
        bool rises;
    } rows[] = {
        {true, false, {}, false},          {true, false, {hidden}, false},
        {true, false, {own}, false},       {true, false, {hidden, own, {false, true}}, false},
        {true, false, {shown}, true},      {true, false, {hidden, own, shown}, true},
        {true, true, {shown}, false},      {false, false, {shown}, false},
        {true, false, {elsewhere}, false},
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(stripMustRise(rows[i].cells, rows[i].menuOpen, rows[i].above), rows[i].rises)
            << "row " << i;
}

TEST_F(Selector, TheHighlightFollowsTheForegroundAcrossAListChange) {
    alice = client(L"QOR - Alice", 100);
    bob = client(L"QOR - Bob", 400);
    bringForward(alice);
    refreshFully();
    ASSERT_EQ(switcher.Order().size(), 2u);
    switcher.RefreshClients(); // nothing changed: the highlight is drawn for Alice
    EXPECT_EQ(fillOf(0), accentColor);

    bringForward(bob);
    SetWindowTextW(alice, L"QOR - Alicia"); // the list changes in the same refresh
    refreshFully();
    ASSERT_STREQ(switcher.ShownName(switcher.Order().front()).c_str(), L"Alicia");
    EXPECT_EQ(fillOf(1), accentColor);
    EXPECT_EQ(fillOf(0), backColor);

    bringForward(alice);
    switcher.RefreshClients();
    EXPECT_EQ(fillOf(0), accentColor) << "Alice is in front again";
    EXPECT_EQ(fillOf(1), backColor);
}

// At rest a refresh walks the windows itself and wakes no worker. Once an event shows that
// Windows reports window changes (Wine 10 does; Wine 8 reports only creations, so the test
// brings one), the timer only mends what an event missed: here a rename in the strip's own
// process, which it never hears of, is shown by the slow scan and not before a second. A client
// that rewrites its title all the time is asked no more often than the short period.
TEST_F(Selector, AtRestItWakesNoWorkerAndAnEventMissedIsMendedByTheSlowScan) {
    alice = client(L"QOR - Alice", 100);
    refreshFully();
    unsigned wakes = switcher.WorkerWakes();
    for (int i = 0; i < 20; ++i)
        switcher.RefreshClients();
    EXPECT_EQ(switcher.WorkerWakes(), wakes);
    EXPECT_EQ(switcher.RefreshPeriod(), 90u);
    // a counter past the longest name the strip shows: the title changes, the cell does not
    const std::wstring longTitle = L"QOR - " + std::wstring(clientNameUnits - 1, L'A');
    SetWindowTextW(alice, longTitle.c_str());
    refreshFully();
    wakes = switcher.WorkerWakes();
    const DWORD churnFrom = GetTickCount();
    for (int i = 0; i < 30; ++i) {
        SetWindowTextW(alice, (longTitle + std::to_wstring(i % 10)).c_str());
        switcher.RefreshClients();
        testkit::pumpFor(10); // the worker's end asks another refresh
    }
    EXPECT_LE(switcher.WorkerWakes() - wakes, (GetTickCount() - churnFrom) / 90 + 1);
    wakes = switcher.WorkerWakes();

    switcher.OnWindowEvent(EVENT_SYSTEM_FOREGROUND, alice);
    ASSERT_EQ(switcher.RefreshPeriod(), 2000u);
    testkit::pumpFor(100); // the refresh the event asked for
    const DWORD renamed = GetTickCount();
    SetWindowTextW(alice, L"QOR - Alicia");
    EXPECT_TRUE(testkit::pumpUntil(
        [&] { return !wcscmp(switcher.ShownName(alice).c_str(), L"Alicia"); }, 4000));
    EXPECT_GE(GetTickCount() - renamed, 1000u) << "the 90 ms look still runs";
}

// Windows' move loop dispatches timers and posted messages: a change waits for the drag's end,
// where a relayout would put the strip back at its stored place under the user's hand.
TEST_F(Selector, ARefreshDuringADragWaitsForItsEnd) {
    alice = client(L"QOR - Alice", 100);
    refreshFully();
    SendMessageW(switcher.hwnd, WM_ENTERSIZEMOVE, 0, 0);
    SetWindowPos(switcher.hwnd, nullptr, 333, 222, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    bob = client(L"QOR - Bob", 400);
    PostMessageW(switcher.hwnd, UM_REFRESHSTRIP, 0, 0);
    testkit::pumpFor(300);
    EXPECT_EQ(switcher.Order().size(), 1u);
    RECT r{};
    GetWindowRect(switcher.hwnd, &r);
    EXPECT_EQ(r.left, 333);
    SendMessageW(switcher.hwnd, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_TRUE(testkit::pumpUntil([&] { return switcher.Order().size() == 2; }, 2000));
}

// The thread that took the click holds the right to set the foreground only until the user's
// next input: the restore and the first request are made there, before the click returns.
TEST_F(Selector, AClickAsksForTheFrontBeforeItReturnsAndRestoresAMinimisedClient) {
    alice = client(L"QOR - Alice", 100);
    bob = client(L"QOR - Bob", 400);
    refreshFully();
    ASSERT_EQ(switcher.Order().size(), 2u);
    Activations activations;
    switcher.activations = &activations;
    ShowWindow(alice, SW_MINIMIZE);
    bringForward(bob);
    const RECT cell = cellOf(0, switcher.CurrentScale());
    SendMessageW(switcher.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cell.left + 5, 5));
    EXPECT_EQ(GetForegroundWindow(), alice) << "the request was left to a worker";
    EXPECT_TRUE(testkit::pumpUntil([&] { return !IsIconic(alice); }, 2000));
    // minimised while it is the foreground window all the same, as Windows allows
    ShowWindow(alice, SW_SHOWMINNOACTIVE);
    SetForegroundWindow(alice);
    ASSERT_TRUE(IsIconic(alice) && GetForegroundWindow() == alice);
    SendMessageW(switcher.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cell.left + 5, 5));
    EXPECT_TRUE(testkit::pumpUntil([&] { return !IsIconic(alice); }, 2000));
    switcher.activations = nullptr;
}

// The foreground hook has told of a change once, then misses one (Wine 8 never tells of any):
// the slow look still lets go of the keys held for a client.
TEST_F(Selector, KeysAreLetGoWithinASecondOfAChangeTheHookDidNotTell) {
    constexpr UINT ctrlShift = MOD_CONTROL | MOD_SHIFT;
    alice = client(L"QOR - Alice", 100);
    const HWND owner = plainWindow(L"owner", 0), other = plainWindow(L"other", WS_VISIBLE);
    SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(keysOwnerProcedure));
    settings.switchKeys = 1;
    Activations activations;
    SwitchKeys keys;
    lookingKeys = &keys;
    keys.Attach(owner, &activations);
    keys.LookBySelf(false);
    bringForward(alice);
    keys.OnForegroundEvent();
    EXPECT_TRUE(testkit::hotKeyTaken(ctrlShift, VK_RIGHT)) << "no key held for a client";
    bringForward(other);
    EXPECT_TRUE(testkit::pumpUntil([] { return !testkit::hotKeyTaken(ctrlShift, VK_RIGHT); }, 2500))
        << "a key still held with another window in front";
    keys.Detach();
    lookingKeys = nullptr;
    DestroyWindow(owner);
    DestroyWindow(other);
}

// Windows sends WM_DPICHANGED when the strip's monitor changes scale, or when a drag takes it
// onto a monitor of another scale; Wine never does, so the test sends it. The strip goes to
// the suggested place (pulled into the work area when it would cross its edge), at its own
// size: its height and cells follow the new scale with one-pixel borders, and scaling back and
// forth gives back every object.
TEST_F(Selector, AChangeOfScaleTakesTheSuggestedPlaceScalesTheCellsAndLeaksNothing) {
    alice = client(L"QOR - Alice", 100);
    bob = client(L"QOR - Bob", 400);
    refreshFully();
    ASSERT_EQ(switcher.Order().size(), 2u);
    const UINT start = switcher.CurrentScale().dpi;
    auto widths = [&] {
        std::vector<int> w;
        for (const HWND window : switcher.Order())
            w.push_back(switcher.Records().at(window).width);
        return w;
    };
    const std::vector<int> startWidths = widths();
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT work = monitor.rcWork;
    POINT suggestedAt{240, 180};
    auto change = [&](UINT dpi) {
        // Windows' size for it may differ by rounding: the strip keeps its own
        RECT suggested{suggestedAt.x, suggestedAt.y, suggestedAt.x + 10, suggestedAt.y + 10};
        SendMessageW(switcher.hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    };
    struct Row {
        UINT dpi;
        int height;
        POINT suggested;
        bool inCorner; // past the work area's bottom-right corner: pulled into it
    } rows[] = {{144, 26, {240, 180}, false},
                {96, 17, {work.right - 5, work.bottom - 5}, true},
                {144, 26, {work.right - 5, work.bottom - 5}, true},
                {96, 17, {300, 0}, false}};
    for (const Row& row : rows) {
        suggestedAt = row.suggested;
        // the width is a sum of measured names: Windows is told it before it picks the scale
        SIZE told{};
        EXPECT_TRUE(SendMessageW(switcher.hwnd, WM_GETDPISCALEDSIZE, row.dpi,
                                 reinterpret_cast<LPARAM>(&told)));
        change(row.dpi);
        RECT r{};
        GetWindowRect(switcher.hwnd, &r);
        if (row.inCorner) {
            EXPECT_EQ(r.right, work.right) << row.dpi;
            EXPECT_EQ(r.bottom, work.bottom) << row.dpi;
        } else {
            EXPECT_EQ(r.left, row.suggested.x) << row.dpi;
            EXPECT_EQ(r.top, row.suggested.y) << row.dpi;
        }
        EXPECT_EQ(r.bottom - r.top, row.height) << row.dpi;
        EXPECT_EQ(r.right - r.left, switcher.StripWidth()) << row.dpi;
        EXPECT_TRUE(told.cx == r.right - r.left && told.cy == r.bottom - r.top) << row.dpi;
        const std::vector<int> now = widths();
        for (size_t i = 0; i < now.size(); ++i)
            EXPECT_NEAR(now[i], MulDiv(startWidths[i], int(row.dpi), int(start)), 2)
                << row.dpi << ", cell " << i;
        const testkit::Pixels p = testkit::readBitmap(switcher.BackBuffer());
        ASSERT_EQ(p.height, row.height);
        const RECT cell = cellRects(now, Scale{row.dpi})[0];
        EXPECT_EQ(p.at(cell.left + 3, row.height - 1), backColor) << row.dpi;
        EXPECT_EQ(p.at(cell.left + 3, row.height - 2), accentColor) << row.dpi;
        EXPECT_EQ(p.at(cell.left, row.height / 2), accentColor) << row.dpi;
        EXPECT_EQ(p.at(cell.left - 1, row.height / 2), backColor) << row.dpi;
    }

    suggestedAt = {300, 0};
    EXPECT_EQ(testkit::gdiGrowthOverScaleChanges(change, start, 100), 0);
}

} // namespace
