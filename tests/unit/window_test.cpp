#include <gtest/gtest.h>

#include <new>
#include <thread>
#include <vector>

#include "ui/window.h"

namespace {

// What reached the object, kept outside it so it can be read after the teardown.
struct Received {
    std::vector<UINT> messages;
    CWindow* self = nullptr;
    HWND hwndAtCreate = nullptr;
    bool has(UINT msg) const {
        for (UINT m : messages)
            if (m == msg) return true;
        return false;
    }
};

class ProbeWin : public CWindow {
  public:
    explicit ProbeWin(Received& received) : received(received) {}
    ~ProbeWin() = default;

    LRESULT handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override {
        received.messages.push_back(msg);
        received.self = this;
        if (msg == WM_CREATE) received.hwndAtCreate = hwnd;
        return DefWindowProcW(window, msg, wParam, lParam);
    }

  private:
    Received& received;
};

constexpr UINT probeMessage = WM_USER + 42;

TEST(WindowFramework, BindsAtNcCreateAndUnbindsAtTeardown) {
    Received received;
    HWND window = nullptr;
    {
        ProbeWin probe(received);
        // an overlapped window gets WM_GETMINMAXINFO before WM_NCCREATE
        window = probe.createWindow(0, WS_OVERLAPPEDWINDOW, 10, 10, 200, 100);
        ASSERT_TRUE(IsWindow(window));
        ASSERT_FALSE(received.messages.empty());
        EXPECT_EQ(received.messages.front(), UINT(WM_NCCREATE));
        EXPECT_EQ(received.hwndAtCreate, window);
        EXPECT_EQ(probe.hwnd, window);
        SendMessageW(window, probeMessage, 0, 0);
        EXPECT_EQ(received.messages.back(), probeMessage);
        received.messages.clear();
    }
    // the teardown destroyed the window without telling the object
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(received.has(WM_DESTROY));
    EXPECT_FALSE(received.has(WM_NCDESTROY));
}

TEST(WindowFramework, WindowDestroyedElsewhereClearsTheObjectsHandle) {
    Received received;
    ProbeWin probe(received);
    HWND window = probe.createWindow(0, WS_POPUP, 0, 0, 50, 50);
    ASSERT_TRUE(IsWindow(window));
    DestroyWindow(window);
    EXPECT_TRUE(received.has(WM_DESTROY));
    EXPECT_TRUE(received.has(WM_NCDESTROY));
    // a later window may get the same handle value; the object must not claim it
    EXPECT_EQ(probe.hwnd, nullptr);
}

TEST(WindowFramework, AfterTeardownAWindowThatStillExistsGoesToDefWindowProc) {
    Received received;
    alignas(ProbeWin) unsigned char storage[sizeof(ProbeWin)];
    auto* probe = new (storage) ProbeWin(received);
    HWND window = nullptr;
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD ownerThread = 0;
    // a window of another thread survives the teardown's DestroyWindow
    std::thread owner([&] {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        ownerThread = GetCurrentThreadId();
        window = probe->createWindow(0, WS_POPUP, 0, 0, 50, 50);
        SetEvent(created);
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
        if (IsWindow(window)) DestroyWindow(window);
    });
    WaitForSingleObject(created, 10000);
    CloseHandle(created);
    ASSERT_TRUE(IsWindow(window));

    probe->~ProbeWin();
    EXPECT_TRUE(IsWindow(window));
    received.messages.clear();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, probeMessage, 0, 0, SMTO_BLOCK, 5000, &result);
    EXPECT_FALSE(received.has(probeMessage));

    PostThreadMessageW(ownerThread, WM_QUIT, 0, 0);
    owner.join();
    EXPECT_FALSE(received.has(WM_DESTROY));
}

// A pointer kept in 32 bits would lose its upper half here.
TEST(WindowFramework, ObjectAboveFourGigabytes) {
    if (sizeof(void*) < 8) GTEST_SKIP() << "only 64-bit builds have such addresses";
    void* memory = nullptr;
    for (unsigned long long at : {0x200000000ull, 0x1000000000ull, 0x7F0000000000ull}) {
        memory = VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(at)), 65536,
                              MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (memory) break;
    }
    if (!memory)
        memory =
            VirtualAlloc(nullptr, 65536, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE);
    ASSERT_NE(memory, nullptr);
    ASSERT_GT(reinterpret_cast<uintptr_t>(memory), uintptr_t(0xFFFFFFFFu));

    Received received;
    auto* probe = new (memory) ProbeWin(received);
    HWND window = probe->createWindow(0, WS_POPUP, 0, 0, 50, 50);
    ASSERT_TRUE(IsWindow(window));
    SendMessageW(window, probeMessage, 0, 0);
    EXPECT_EQ(received.messages.back(), probeMessage);
    EXPECT_EQ(received.self, static_cast<CWindow*>(probe));
    probe->~ProbeWin();
    EXPECT_FALSE(IsWindow(window));
    VirtualFree(memory, 0, MEM_RELEASE);
}

TEST(Centring, Arithmetic) {
    const RECT screen{0, 0, 1280, 780};
    struct Row {
        const char* what;
        SIZE window;
        RECT reference;
        RECT area;
        POINT expected;
    } rows[] = {
        {"centred", {200, 100}, screen, screen, {540, 340}},
        {"taller than the area: top edge wins", {300, 1000}, screen, screen, {490, 0}},
        {"taller, area not at the origin",
         {100, 900},
         {0, 50, 1280, 800},
         {0, 50, 1280, 800},
         {590, 50}},
        {"owner partly off-screen: x is never clamped",
         {200, 100},
         {-300, 100, 100, 400},
         screen,
         {-200, 200}},
        {"owner low on the screen: pulled up",
         {200, 100},
         {100, 700, 500, 1000},
         screen,
         {200, 680}},
        {"owner above the area: pulled down", {200, 100}, {100, -400, 500, -100}, screen, {200, 0}},
        {"wider than the area", {2000, 100}, screen, screen, {-360, 340}},
        {"halves truncate toward zero", {5, 5}, {-3, -3, 0, 0}, {-100, -100, 100, 100}, {-3, -3}},
    };
    for (const Row& row : rows) {
        const POINT at = centredPosition(row.window, row.reference, row.area);
        EXPECT_EQ(at.x, row.expected.x) << row.what;
        EXPECT_EQ(at.y, row.expected.y) << row.what;
    }
}

TEST(Centring, AWindowNoWorkAreaShowsWhollyComesToTheNearest) {
    const RECT main{0, 0, 1280, 760}; // taskbar at the bottom
    const RECT right{1280, 0, 3200, 1080}, left{-1920, 0, 0, 1080};
    struct Row {
        const char* what;
        std::vector<RECT> monitors;
        POINT at;
        int width;
        POINT expected;
    } rows[] = {
        {"on the main monitor", {main}, {300, 0}, 200, {300, 0}},
        {"on a second monitor", {main, right}, {2000, 500}, 200, {2000, 500}},
        {"across two monitors", {main, right}, {1200, 100}, 200, {1200, 100}},
        {"on a second monitor that is gone", {main}, {2000, 500}, 200, {1080, 500}},
        {"far off every monitor", {main}, {5000, 5000}, 200, {1080, 743}},
        {"half off the right edge", {main}, {1180, 100}, 200, {1080, 100}},
        {"on the taskbar", {main}, {300, 750}, 200, {300, 743}},
        {"on a left monitor that is gone", {main, right}, {-1500, 300}, 200, {0, 300}},
        {"under the second monitor: the nearer", {main, right}, {2500, 1500}, 200, {2500, 1063}},
        {"below the shorter monitor: onto the one showing most of it",
         {main, right},
         {1200, 770},
         200,
         {1280, 770}},
        {"on a monitor left of the main one", {left, main}, {-300, 40}, 200, {-300, 40}},
        {"no cells yet: one pixel", {main}, {5000, 5000}, 0, {1279, 743}},
        {"wider than the work area: left edge", {main}, {100, 100}, 1500, {0, 100}},
        {"no monitors reported: left alone", {}, {5000, 5000}, 200, {5000, 5000}},
    };
    for (const Row& row : rows) {
        const RECT strip{row.at.x, row.at.y, row.at.x + row.width, row.at.y + 17};
        const POINT at = onScreenPosition(strip, row.monitors);
        EXPECT_EQ(at.x, row.expected.x) << row.what;
        EXPECT_EQ(at.y, row.expected.y) << row.what;
    }
}

class PlainWin : public CWindow {
  public:
    LRESULT handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override {
        return DefWindowProcW(window, msg, wParam, lParam);
    }
};

RECT windowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

TEST(Centring, RealWindows) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT work = monitor.rcWork;

    PlainWin tall;
    const int tallHeight = (work.bottom - work.top) + 200;
    ASSERT_TRUE(tall.createWindow(WS_EX_TOOLWINDOW, WS_POPUP, 0, 0, 300, tallHeight));
    centre(tall.hwnd);
    EXPECT_EQ(windowRect(tall.hwnd).top, work.top);
    EXPECT_EQ(windowRect(tall.hwnd).left, (work.left + work.right) / 2 - 150);

    // the owner lies partly left of the screen; only y may be pulled back
    PlainWin owner;
    ASSERT_TRUE(owner.createWindow(WS_EX_TOOLWINDOW, WS_POPUP, -200, 100, 400, 300));
    const RECT ownerRect = windowRect(owner.hwnd);
    HWND owned = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 100, 80,
                                 owner.hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(owned);
    centre(owned);
    EXPECT_EQ(windowRect(owned).left, (ownerRect.left + ownerRect.right) / 2 - 50);
    EXPECT_EQ(windowRect(owned).top, (ownerRect.top + ownerRect.bottom) / 2 - 40);
    DestroyWindow(owned);

    centre(nullptr); // not a window: nothing happens
}

} // namespace
