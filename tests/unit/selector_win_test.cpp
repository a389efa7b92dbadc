#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "clients/client_list.h"
#include "clients/game_client.h"
#include "clients/selector_win.h"
#include "tests/support/testkit.h"
#include "ui/draw.h"

namespace {

LRESULT CALLBACK plainProcedure(HWND h, UINT m, WPARAM w, LPARAM l) {
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
    // titles before they changed, so it ends first; then a new one is woken, its title
    // reads answered here, and its list merged.
    void refreshFully() {
        auto scanned = [&] { return !switcher.Scanning(); };
        ASSERT_TRUE(testkit::pumpUntil(scanned, 2000));
        switcher.RefreshClients();
        ASSERT_TRUE(testkit::pumpUntil(scanned, 2000));
        switcher.RefreshClients();
    }
    void bringForward(HWND window) {
        SetForegroundWindow(window);
        ASSERT_TRUE(testkit::pumpUntil([&] { return GetForegroundWindow() == window; }, 2000));
    }
    // The fill just inside a cell's frame, as the back buffer holds it.
    COLORREF fillOf(int cell) const {
        std::vector<int> widths;
        for (const auto& entry : switcher.Order())
            widths.push_back(switcher.Records().at(entry.second).width);
        const RECT r = cellRects(widths)[size_t(cell)];
        return testkit::readBitmap(switcher.BackBuffer()).at(r.left + 2, 2);
    }

    CSelectorWin switcher;
    HWND alice = nullptr;
    HWND bob = nullptr;
};

// A redraw for a changed list shows the foreground of that moment; when the foreground
// then goes back to the one an earlier quiet refresh saw, the strip must follow it too.
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
    ASSERT_EQ(switcher.Order().begin()->first, L"Alicia");
    EXPECT_EQ(fillOf(1), accentColor);
    EXPECT_EQ(fillOf(0), backColor);

    bringForward(alice);
    switcher.RefreshClients();
    EXPECT_EQ(fillOf(0), accentColor) << "Alice is in front again";
    EXPECT_EQ(fillOf(1), backColor);
}

} // namespace
