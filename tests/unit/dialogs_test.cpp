#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/globals.h"
#include "core/messages.h"
#include "core/settings.h"
#include "dialogs/config_win.h"
#include "dialogs/keys_win.h"
#include "dialogs/version_win.h"
#include "res/resource.h"
#include "tests/support/skarvel_process.h"
#include "tests/support/testkit.h"
#include "ui/draw.h"

namespace {

using testkit::pump;
using testkit::pumpUntil;

constexpr wchar_t storeKey[] = L"Software\\Skarvel";

TEST(HitRegionLists, KeepTheirOrderAndHotFlagsAsTheWindowsRelyOn) {
    HitRegions r;
    r.SetClick(1, {0, 0, 10, 10});
    r.SetClick(2, {5, 5, 20, 20});
    EXPECT_EQ(r.HitTest({7, 7}), 1) << "the first in list order wins";
    EXPECT_EQ(r.HitTest({10, 10}), 2) << "right and bottom are outside";
    EXPECT_EQ(r.HitTest({20, 20}), noControl);
    r.SetClick(1, {30, 30, 40, 40});
    EXPECT_EQ(r.Clicks().size(), 2u) << "replaced, not appended";
    EXPECT_EQ(r.Clicks()[0].id, 1);
    EXPECT_EQ(r.HitTest({7, 7}), 2);

    r.SetHover(6, {0, 0, 10, 10});
    r.SetHover(5, {20, 0, 30, 10});
    bool changed = false;
    EXPECT_EQ(r.Track({5, 5}, changed), 6);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(r.IsHot(6));
    EXPECT_EQ(r.Track({6, 6}, changed), 6);
    EXPECT_FALSE(changed) << "a move within the same button changes nothing";
    r.SetHover(6, {0, 0, 12, 12});
    EXPECT_TRUE(r.IsHot(6)) << "a new rect keeps the flag";
    EXPECT_EQ(r.Track({25, 5}, changed), 5);
    EXPECT_TRUE(changed);
    EXPECT_FALSE(r.IsHot(6));
    EXPECT_FALSE(r.IsHot(99));
    EXPECT_EQ(r.Track({50, 50}, changed), noControl);
    EXPECT_FALSE(r.IsHot(5));

    // the clean-up only ever cools
    r.Track({25, 5}, changed);
    EXPECT_FALSE(r.CoolOutside({25, 5}));
    EXPECT_TRUE(r.CoolOutside({5, 5}));
    EXPECT_FALSE(r.IsHot(5));
    EXPECT_FALSE(r.IsHot(6));
}

// Collects what a dialog posts to its opener.
class OpenerWin : public CWindow {
  public:
    int settingsChanged = 0;
    LRESULT handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == UM_SETTINGSCHANGED) ++settingsChanged;
        return DefWindowProcW(window, msg, wParam, lParam);
    }
};

// A plain window to hold the foreground.
class CWindowBox : public CWindow {
  public:
    ~CWindowBox() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    LRESULT handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override {
        return DefWindowProcW(window, msg, wParam, lParam);
    }
};

class Dialog : public testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, storeKey);
        settings = Settings();
        ASSERT_TRUE(opener.createWindow(WS_EX_TOOLWINDOW, WS_POPUP, 0, 0, 10, 10));
        testkit::moveCursor(1, 1);
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, storeKey);
        settings = Settings();
    }
    static void send(HWND window, UINT msg, POINT at) {
        SendMessageW(window, msg, msg == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(at.x, at.y));
    }
    static void click(HWND window, POINT at) {
        send(window, WM_LBUTTONDOWN, at);
        send(window, WM_LBUTTONUP, at);
    }
    // What the window answers a pointer at a point of its client area: a click on a control,
    // a caption (which Windows drags) elsewhere.
    static LRESULT hitAt(HWND window, POINT at) {
        ClientToScreen(window, &at);
        return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
    }
    static bool closes(const CWindow& w) {
        return pumpUntil([&] { return !IsWindow(w.hwnd); }, 2000);
    }
    OpenerWin opener;
};

// Boxes of the check-box rows and the buttons, in client pixels.
constexpr RECT boxes[] = {
    {10, 23, 19, 32}, {10, 38, 19, 47}, {10, 53, 19, 62}, {10, 68, 19, 77}, {10, 83, 19, 92}};
constexpr POINT boxPoint[] = {{14, 27}, {14, 42}, {14, 57}, {14, 72}, {14, 87}};
constexpr POINT okPoint{140, 139}, closePoint{187, 139};

class Config : public Dialog {
  protected:
    void open() {
        ASSERT_TRUE(config.Create(opener.hwnd));
        ASSERT_TRUE(IsWindow(config.hwnd));
    }
    testkit::Pixels pixels() const { return testkit::readBitmap(config.BackBuffer()); }
    bool ticked(int row) const {
        return pixels().at(boxes[row].left + 4, boxes[row].top + 4) == textColor;
    }
    void typePath(const wchar_t* text) {
        SendMessageW(config.EditField(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
        for (const wchar_t* c = text; *c; ++c)
            SendMessageW(config.EditField(), WM_CHAR, *c, 0);
    }
    CConfigWin config;
};

TEST_F(Config, DrawsItsFrameBoxesAndButtonsExactly) {
    settings.loadAtStartup = 1;
    settings.showSwitcher = 0;
    settings.keepSwitcherOpen = 2; // stored by hand: shows ticked
    settings.switcherOpensClients = 0;
    settings.fitNewClients = 1;
    open();
    const testkit::Pixels p = pixels();
    ASSERT_EQ(p.width, configWidth);
    ASSERT_EQ(p.height, configHeight);
    EXPECT_EQ(p.at(0, 0), backColor);
    EXPECT_EQ(p.at(214, 154), backColor);
    EXPECT_EQ(p.at(1, 70), accentColor) << "inner ring";
    EXPECT_EQ(p.at(213, 70), accentColor);
    EXPECT_EQ(p.at(100, 153), accentColor);
    EXPECT_EQ(p.at(3, 3), accentColor) << "title strip";
    EXPECT_EQ(p.at(211, 15), accentColor);
    EXPECT_EQ(p.at(3, 16), backColor) << "the strip ends at row 15";
    EXPECT_EQ(p.at(205, 150), backColor);

    const bool expected[] = {true, false, true, false, true};
    for (int row = 0; row < int(std::size(boxes)); ++row) {
        SCOPED_TRACE(row);
        const RECT& b = boxes[row];
        EXPECT_EQ(p.at(b.left, b.top), textColor) << "frame";
        EXPECT_EQ(p.at(b.right - 1, b.bottom - 1), textColor);
        EXPECT_EQ(p.at(b.right, b.top + 4), shadowColor) << "shadow to the right";
        EXPECT_EQ(p.at(b.left + 4, b.bottom), shadowColor) << "and below";
        EXPECT_EQ(p.at(b.left + 1, b.top + 1), shadowColor) << "the shadow frame shows inside";
        EXPECT_EQ(p.at(b.left + 2, b.bottom - 2), backColor) << "a ring around the mark";
        EXPECT_EQ(ticked(row), expected[row]);
        if (expected[row]) {
            EXPECT_EQ(p.at(b.left + 6, b.top + 6), textColor);
        }
    }
    // buttons framed, not filled
    for (const RECT& r :
         {RECT{121, 132, 161, 147}, RECT{167, 132, 207, 147}, RECT{10, 132, 50, 147}}) {
        EXPECT_EQ(p.at(r.left, r.top), accentColor);
        EXPECT_EQ(p.at(r.right - 1, r.bottom - 1), accentColor);
        EXPECT_EQ(p.at(r.left + 2, r.top + 2), backColor);
    }

    // the edit field sits at its place with the stored path
    RECT edit{};
    GetWindowRect(config.EditField(), &edit);
    MapWindowPoints(nullptr, config.hwnd, reinterpret_cast<POINT*>(&edit), 2);
    EXPECT_EQ(edit.left, 10);
    EXPECT_EQ(edit.top, 110);
    EXPECT_EQ(edit.right, 207);
    EXPECT_EQ(edit.bottom, 125);
    EXPECT_TRUE(GetWindowLongPtrW(config.EditField(), GWL_STYLE) & ES_UPPERCASE);

    // the order the first rendering fixed
    std::vector<int> clicks, hovers;
    for (const HitRegion& r : config.Regions().Clicks())
        clicks.push_back(r.id);
    for (const HitRegion& r : config.Regions().Hovers())
        hovers.push_back(r.id);
    EXPECT_EQ(clicks, (std::vector<int>{1, 2, 3, 4, idFitNewClients, 6, 5, idKeys}));
    EXPECT_EQ(hovers, (std::vector<int>{6, 5, idKeys}));
}

TEST_F(Config, OnlyAPressAndReleaseInPlaceOnABoxFlipsItAndNothingIsStored) {
    open();
    click(config.hwnd, boxPoint[1]);
    EXPECT_FALSE(ticked(1)) << "show switcher was on";
    click(config.hwnd, boxPoint[1]);
    EXPECT_TRUE(ticked(1));
    click(config.hwnd, boxPoint[3]);
    EXPECT_TRUE(ticked(3));
    EXPECT_EQ(storedNumber(L"Use switcher to open clients"), absentNumber) << "nothing before OK";
    EXPECT_EQ(settings.switcherOpensClients, 0u);

    struct Case {
        const char* what;
        POINT press, move, release;
        bool moves;
    } cases[] = {
        {"released on another box", boxPoint[0], {}, boxPoint[2], false},
        {"moved in place before the release", boxPoint[0], boxPoint[0], boxPoint[0], true},
        {"the label only", {60, 27}, {}, {60, 27}, false},
        {"pressed on OK, released on a box", okPoint, {}, boxPoint[0], false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        send(config.hwnd, WM_LBUTTONDOWN, c.press);
        if (c.moves) send(config.hwnd, WM_MOUSEMOVE, c.move);
        send(config.hwnd, WM_LBUTTONUP, c.release);
        EXPECT_FALSE(ticked(0));
        EXPECT_FALSE(ticked(2));
        EXPECT_TRUE(IsWindow(config.hwnd));
        EXPECT_EQ(GetCapture(), nullptr);
    }

    // OK pressed, moved off and back, released: nothing. Off the controls the pointer is over
    // a caption, so it comes as WM_NCMOUSEMOVE.
    send(config.hwnd, WM_LBUTTONDOWN, okPoint);
    POINT off{100, 100};
    ClientToScreen(config.hwnd, &off);
    SendMessageW(config.hwnd, WM_NCMOUSEMOVE, HTCAPTION, MAKELPARAM(off.x, off.y));
    send(config.hwnd, WM_MOUSEMOVE, okPoint);
    send(config.hwnd, WM_LBUTTONUP, okPoint);
    pump();
    EXPECT_TRUE(IsWindow(config.hwnd));
    EXPECT_EQ(opener.settingsChanged, 0);
}

TEST_F(Config, OkSavesWhatItShowsTellsTheOpenerAndCloses) {
    settings.clientPath.assign(L"C:\\OLD\\QOR.EXE");
    open();
    wchar_t shown[64] = {};
    GetWindowTextW(config.EditField(), shown, 64);
    EXPECT_STREQ(shown, L"C:\\OLD\\QOR.EXE");

    click(config.hwnd, boxPoint[0]);
    click(config.hwnd, boxPoint[1]);
    click(config.hwnd, boxPoint[2]);
    click(config.hwnd, boxPoint[4]);
    typePath(L"d:\\games\\qor.exe");
    send(config.hwnd, WM_LBUTTONDOWN, okPoint);
    send(config.hwnd, WM_MOUSEMOVE, {okPoint.x + 5, okPoint.y + 2}); // within OK: still counts
    send(config.hwnd, WM_LBUTTONUP, {okPoint.x + 5, okPoint.y + 2});
    EXPECT_TRUE(closes(config));
    EXPECT_TRUE(pumpUntil([&] { return opener.settingsChanged == 1; }, 1000));

    EXPECT_EQ(storedNumber(L"Load at windows startup"), 1u);
    EXPECT_EQ(storedNumber(L"Client Switcher"), 0u);
    EXPECT_EQ(storedNumber(L"Keep switcher open"), 1u);
    EXPECT_EQ(storedNumber(L"Use switcher to open clients"), 0u);
    EXPECT_EQ(storedNumber(L"Fit new clients"), 1u);
    EXPECT_EQ(storedText(L"QOR Online path"), L"D:\\GAMES\\QOR.EXE") << "typed in capitals";
    EXPECT_STREQ(settings.clientPath.c_str(), L"D:\\GAMES\\QOR.EXE");
    EXPECT_EQ(settings.showSwitcher, 0u);

    // the next opening shows the stored values, and an empty field empties the path
    open();
    EXPECT_TRUE(ticked(0));
    EXPECT_FALSE(ticked(1));
    EXPECT_TRUE(ticked(4));
    click(config.hwnd, boxPoint[4]);
    typePath(L"");
    click(config.hwnd, okPoint);
    EXPECT_TRUE(closes(config));
    EXPECT_EQ(storedNumber(L"Fit new clients"), 0u);
    EXPECT_EQ(settings.fitNewClients, 0u);
    EXPECT_EQ(storedText(L"QOR Online path"), L"");
    EXPECT_STREQ(settings.clientPath.c_str(), L"");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                       L"Skarvel");
}

TEST_F(Config, CloseDropsEveryChange) {
    settings.clientPath.assign(L"C:\\KEEP.EXE");
    open();
    click(config.hwnd, boxPoint[0]);
    click(config.hwnd, boxPoint[3]);
    click(config.hwnd, boxPoint[4]);
    typePath(L"x:\\other.exe");
    click(config.hwnd, closePoint);
    EXPECT_TRUE(closes(config));
    EXPECT_EQ(opener.settingsChanged, 0);
    EXPECT_EQ(storedNumber(L"Load at windows startup"), absentNumber);
    EXPECT_EQ(storedNumber(L"Fit new clients"), absentNumber);
    EXPECT_EQ(settings.fitNewClients, 0u);
    EXPECT_STREQ(settings.clientPath.c_str(), L"C:\\KEEP.EXE");

    open();
    EXPECT_FALSE(ticked(0));
    EXPECT_FALSE(ticked(3));
    EXPECT_FALSE(ticked(4));
    wchar_t shown[64] = {};
    GetWindowTextW(config.EditField(), shown, 64);
    EXPECT_STREQ(shown, L"C:\\KEEP.EXE");
}

// A press off the controls is a caption press, which Windows turns into a drag (shown with real
// input end to end); the controls stay clicks.
TEST_F(Config, PointsOffTheControlsAreACaptionAndTheControlsClicks) {
    open();
    const struct {
        POINT at;
        LRESULT hit;
    } rows[] = {
        {{100, 8}, HTCAPTION},   {{60, 27}, HTCAPTION},   {{40, 102}, HTCAPTION},
        {{60, 150}, HTCAPTION},  {{60, 87}, HTCAPTION},   {boxPoint[0], HTCLIENT},
        {boxPoint[3], HTCLIENT}, {boxPoint[4], HTCLIENT}, {okPoint, HTCLIENT},
        {closePoint, HTCLIENT},  {{30, 139}, HTCLIENT},
    };
    for (const auto& row : rows)
        EXPECT_EQ(hitAt(config.hwnd, row.at), row.hit) << row.at.x << "," << row.at.y;
}

TEST_F(Config, TheButtonHighlightFollowsThePointerAndLeavesWithIt) {
    open();
    RECT window{};
    GetWindowRect(config.hwnd, &window);
    testkit::moveCursor(window.left + okPoint.x, window.top + okPoint.y);
    send(config.hwnd, WM_MOUSEMOVE, okPoint);
    EXPECT_EQ(pixels().at(123, 134), accentColor) << "OK filled";
    EXPECT_EQ(pixels().at(169, 134), backColor);
    send(config.hwnd, WM_MOUSEMOVE, closePoint);
    EXPECT_EQ(pixels().at(123, 134), backColor);
    EXPECT_EQ(pixels().at(169, 134), accentColor);

    // the pointer leaves the window: the timer takes the highlight off
    testkit::moveCursor(window.right + 50, window.bottom + 50);
    EXPECT_TRUE(pumpUntil([&] { return pixels().at(169, 134) == backColor; }, 1000));

    // hot when closed: the next opening shows none
    testkit::moveCursor(window.left + closePoint.x, window.top + closePoint.y);
    send(config.hwnd, WM_MOUSEMOVE, closePoint);
    click(config.hwnd, closePoint);
    EXPECT_TRUE(closes(config));
    open();
    EXPECT_FALSE(config.Regions().IsHot(idClose));
    EXPECT_EQ(pixels().at(169, 134), backColor);
}

// Points in the keys window at 96 DPI.
constexpr POINT fieldPoint(int field) {
    const RECT& r = keyFieldRects[field];
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}
constexpr POINT switchKeysBox{14, 27}, keysOkPoint{186, 124}, keysClosePoint{232, 124};
constexpr POINT configKeysPoint{30, 139};

class Keys : public Dialog {
  protected:
    void SetUp() override {
        Dialog::SetUp();
        keysWindow = &keys;
    }
    void TearDown() override {
        keysWindow = nullptr;
        Dialog::TearDown();
    }
    // from the configuration window's KEYS, in front, so that keys pressed come to it
    void open() {
        if (!IsWindow(config.hwnd)) {
            ASSERT_TRUE(config.Create(opener.hwnd));
        }
        click(config.hwnd, configKeysPoint);
        ASSERT_TRUE(IsWindow(keys.hwnd));
        ASSERT_TRUE(pumpUntil([&] { return GetFocus() == keys.hwnd; }, 2000));
    }
    std::wstring shows(int field) const { return keys.FieldShows(field).text; }
    CConfigWin config;
    CKeysWin keys;
};

TEST_F(Keys, DrawsTheStoredKeysInWordsAndMarksOnesHeldElsewhere) {
    settings.previousClientKey = 0;
    settings.lastClientKey = storedKey(VK_F7, MOD_CONTROL | MOD_ALT);
    settings.placeKeys = MOD_ALT;
    // held for this thread, not for the window: to its probe, keys of another program
    ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, VK_F7));
    ASSERT_TRUE(RegisterHotKey(nullptr, 2, MOD_ALT, '7'));
    open();
    UnregisterHotKey(nullptr, 1);
    UnregisterHotKey(nullptr, 2);

    const testkit::Pixels p = testkit::readBitmap(keys.BackBuffer());
    ASSERT_EQ(p.width, keysWidth);
    ASSERT_EQ(p.height, keysHeight);
    EXPECT_EQ(p.at(1, 70), accentColor) << "inner ring";
    EXPECT_EQ(p.at(3, 15), accentColor) << "title strip";
    auto count = [&](COLORREF colour, RECT area) {
        int n = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                n += p.at(x, y) == colour;
        return n;
    };
    const struct {
        const wchar_t* text;
        bool taken;
    } rows[] = {
        {L"CTRL+SHIFT+RIGHT", false}, {L"NONE", false}, {L"CTRL+ALT+F7", true}, {L"ALT+1-9", true}};
    for (int field = 0; field < keyFieldCount; ++field) {
        SCOPED_TRACE(field);
        EXPECT_EQ(shows(field), rows[field].text);
        EXPECT_EQ(keys.FieldShows(field).tag != nullptr, rows[field].taken);
        const RECT& f = keyFieldRects[field];
        EXPECT_EQ(p.at(f.left, f.top), accentColor);
        EXPECT_EQ(p.at(f.right - 1, f.bottom - 1), accentColor);
        const LONG tagLeft = f.right - 38;
        EXPECT_GT(count(RGB(255, 255, 255), {f.left, f.top, tagLeft, f.bottom}), 10);
        EXPECT_EQ(count(textColor, {tagLeft, f.top, f.right, f.bottom}) > 10, rows[field].taken);
    }
    std::vector<int> clicks, hovers;
    for (const HitRegion& r : keys.Regions().Clicks())
        clicks.push_back(r.id);
    for (const HitRegion& r : keys.Regions().Hovers())
        hovers.push_back(r.id);
    EXPECT_EQ(clicks, (std::vector<int>{idSwitchKeys, idNextKey, idPreviousKey, idLastKey,
                                        idPlaceKeys, idClose, idOk}));
    EXPECT_EQ(hovers, (std::vector<int>{idClose, idOk}));
}

// The system's keyboard menu, which Alt with a key would call up while a field waits.
int keyMenus = 0;
WNDPROC keysProc = nullptr;
LRESULT CALLBACK countKeyMenus(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_KEYMENU) ++keyMenus;
    return CallWindowProcW(keysProc, window, msg, wParam, lParam);
}

// Real keyboard input, with the window in front as a user has it.
TEST_F(Keys, AFieldTakesTheKeysPressedIntoItAndOkStoresThem) {
    open();
    keyMenus = 0;
    keysProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(keys.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countKeyMenus)));
    const struct {
        const char* what;
        int field;
        std::vector<WORD> keys;
        bool waits;
        const wchar_t* shows;
        const wchar_t* tag;
    } rows[] = {
        {"a modifier alone", 0, {VK_SHIFT}, true, L"PRESS KEYS", nullptr},
        {"another field's key",
         0,
         {VK_CONTROL, VK_SHIFT, VK_LEFT},
         true,
         L"CTRL+SHIFT+LEFT",
         L"IN USE"},
        {"a combination", 0, {VK_CONTROL, VK_MENU, VK_F5}, false, L"CTRL+ALT+F5", nullptr},
        {"Esc", 1, {VK_ESCAPE}, false, L"CTRL+SHIFT+LEFT", nullptr},
        {"Alt with a letter", 2, {VK_MENU, 'K'}, false, L"ALT+K", nullptr},
        {"Backspace", 2, {VK_BACK}, false, L"NONE", nullptr},
        {"a place without a digit", 3, {VK_CONTROL, VK_F6}, true, L"PRESS KEYS", nullptr},
        {"a place without a modifier", 3, {'4'}, true, L"PRESS KEYS", nullptr},
        {"a place on the keypad", 3, {VK_MENU, VK_NUMPAD3}, true, L"PRESS KEYS", nullptr},
        {"a place that types", 3, {VK_SHIFT, '3'}, true, L"PRESS KEYS", nullptr},
        {"a place", 3, {VK_MENU, '3'}, false, L"ALT+1-9", nullptr},
        {"a letter alone", 1, {'Q'}, true, L"PRESS KEYS", nullptr},
        {"F12 alone, the debugger's", 1, {VK_F12}, true, L"PRESS KEYS", nullptr},
        {"AltGr with a letter", 1, {VK_CONTROL, VK_MENU, 'E'}, true, L"PRESS KEYS", nullptr},
        {"one of the places' keys", 1, {VK_MENU, '7'}, true, L"ALT+7", L"IN USE"},
        {"Delete", 1, {VK_DELETE}, false, L"NONE", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (keys.Waiting() != idNextKey + row.field) click(keys.hwnd, fieldPoint(row.field));
        ASSERT_EQ(keys.Waiting(), idNextKey + row.field);
        ASSERT_TRUE(testkit::pressKeys(row.keys));
        EXPECT_EQ(keys.Waiting() != noControl, row.waits);
        EXPECT_EQ(shows(row.field), row.shows);
        EXPECT_STREQ(keys.FieldShows(row.field).tag, row.tag);
    }
    click(keys.hwnd, fieldPoint(0));
    ASSERT_TRUE(testkit::sendKeys({VK_CONTROL, VK_SHIFT}, {}));
    EXPECT_EQ(shows(0), L"CTRL+SHIFT+...") << "the modifiers as they are held";
    ASSERT_TRUE(testkit::sendKeys({}, {VK_SHIFT, VK_CONTROL}));
    EXPECT_EQ(shows(0), L"PRESS KEYS");
    click(keys.hwnd, switchKeysBox);
    EXPECT_EQ(keys.Waiting(), noControl) << "a click on another control ends the waiting";
    EXPECT_EQ(keyMenus, 0) << "Alt with a key called up the keyboard menu";

    EXPECT_EQ(storedNumber(L"Next client key"), absentNumber) << "nothing before OK";
    click(keys.hwnd, keysOkPoint);
    EXPECT_TRUE(closes(keys));
    EXPECT_TRUE(pumpUntil([&] { return opener.settingsChanged == 1; }, 1000))
        << "told to the window the configuration reports to";
    EXPECT_EQ(storedNumber(L"Switch keys"), 1u);
    EXPECT_EQ(storedNumber(L"Next client key"), 0x00030074u);
    EXPECT_EQ(storedNumber(L"Previous client key"), 0u);
    EXPECT_EQ(storedNumber(L"Last client key"), 0u);
    EXPECT_EQ(storedNumber(L"Place keys"), DWORD(MOD_ALT));
    EXPECT_EQ(settings.nextClientKey, 0x00030074u);
}

TEST_F(Keys, CloseAndAltF4DropEveryChange) {
    for (const bool altF4 : {false, true}) {
        SCOPED_TRACE(altF4 ? "Alt+F4" : "CLOSE");
        open();
        click(keys.hwnd, switchKeysBox);
        click(keys.hwnd, fieldPoint(2));
        ASSERT_TRUE(testkit::pressKeys({VK_MENU, VK_F9}));
        ASSERT_EQ(shows(2), L"ALT+F9");
        if (altF4)
            ASSERT_TRUE(testkit::pressKeys({VK_MENU, VK_F4}));
        else
            click(keys.hwnd, keysClosePoint);
        EXPECT_TRUE(closes(keys));
        EXPECT_EQ(opener.settingsChanged, 0);
        EXPECT_EQ(storedNumber(L"Last client key"), absentNumber);
        EXPECT_EQ(settings.lastClientKey, defaultLastClientKey);
    }
    open();
    EXPECT_EQ(shows(2), L"CTRL+SHIFT+UP");
}

class Version : public Dialog {
  protected:
    void open() {
        ASSERT_TRUE(version.Create(opener.hwnd));
        ASSERT_TRUE(IsWindow(version.hwnd));
    }
    testkit::Pixels pixels() const { return testkit::readBitmap(version.BackBuffer()); }
    int count(COLORREF colour, RECT area) const {
        const testkit::Pixels p = pixels();
        int n = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                n += p.at(x, y) == colour;
        return n;
    }
    CVersionWin version;
};

TEST_F(Version, DrawsTitleLinkCreditAndClose) {
    open();
    const testkit::Pixels p = pixels();
    ASSERT_EQ(p.width, versionWidth);
    ASSERT_EQ(p.height, versionHeight);
    EXPECT_EQ(p.at(0, 0), backColor);
    EXPECT_EQ(p.at(1, 30), accentColor);
    EXPECT_EQ(p.at(334, 30), accentColor);
    EXPECT_EQ(p.at(3, 3), accentColor);
    EXPECT_EQ(p.at(332, 15), accentColor);
    EXPECT_EQ(p.at(288, 38), accentColor) << "CLOSE framed";
    EXPECT_EQ(p.at(290, 40), backColor);

    EXPECT_GT(count(linkColor, linkRect), 20) << "the link in its colour";
    EXPECT_EQ(count(shadowColor, linkRect), 0) << "and without a shadow";
    // the credit line ends before CLOSE
    const RECT credit{8, 38, 288, 53};
    EXPECT_GT(count(textColor, credit), 20);
    int lastText = 0;
    for (int x = 8; x < 288; ++x)
        for (int y = 39; y < 52; ++y)
            if (p.at(x, y) != backColor) lastText = x;
    EXPECT_LT(lastText, 280);
}

TEST_F(Version, TheLinkIsUnderlinedAndHandedAcrossItsWholeRectangle) {
    open();
    RECT window{};
    GetWindowRect(version.hwnd, &window);
    const int plainLink = count(linkColor, linkRect);
    const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    for (POINT at : {POINT{10, 22}, POINT{320, 30}, POINT{327, 33}}) {
        SCOPED_TRACE(at.x);
        testkit::moveCursor(window.left + at.x, window.top + at.y);
        send(version.hwnd, WM_MOUSEMOVE, at);
        EXPECT_TRUE(version.Regions().IsHot(idLink));
        EXPECT_GT(count(linkColor, linkRect), plainLink) << "the underline";
        SendMessageW(version.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(version.hwnd),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), hand);
    }
    // off the link inside the window: plain at once
    testkit::moveCursor(window.left + 100, window.top + 45);
    send(version.hwnd, WM_MOUSEMOVE, {100, 45});
    EXPECT_FALSE(version.Regions().IsHot(idLink));
    EXPECT_EQ(count(linkColor, linkRect), plainLink);
    SendMessageW(version.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(version.hwnd),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(moduleInstance, MAKEINTRESOURCEW(IDC_POINTER)));
    EXPECT_NE(GetCursor(), nullptr);

    // out of the window: the timer restores the plain link
    testkit::moveCursor(window.left + 100, window.top + 25);
    send(version.hwnd, WM_MOUSEMOVE, {100, 25});
    testkit::moveCursor(window.right + 40, window.bottom + 40);
    EXPECT_TRUE(pumpUntil([&] { return count(linkColor, linkRect) == plainLink; }, 1000));
}

// Under Wine the new window itself may take the foreground (Windows keeps it elsewhere), so
// the foreground is set after opening; then a real click must leave it there.
TEST_F(Version, AClickLeavesTheForegroundWhereItWas) {
    CWindowBox other;
    ASSERT_TRUE(other.createWindow(0, WS_POPUP | WS_VISIBLE, 700, 600, 100, 60));
    open();
    SetForegroundWindow(other.hwnd);
    ASSERT_TRUE(pumpUntil([&] { return GetForegroundWindow() == other.hwnd; }, 2000));
    RECT window{};
    GetWindowRect(version.hwnd, &window);
    ASSERT_TRUE(testkit::moveCursor(window.left + 100, window.top + 45)); // the credit line
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(SendInput(2, clicks, sizeof(INPUT)), 2u);
    testkit::pumpFor(200);
    EXPECT_EQ(GetForegroundWindow(), other.hwnd);
    EXPECT_EQ(GetCapture(), nullptr) << "the drag ended with the release";
}

TEST_F(Version, TheTitleAndCreditLineDragItAndCloseClosesIt) {
    open();
    EXPECT_EQ(hitAt(version.hwnd, {100, 8}), HTCAPTION);
    EXPECT_EQ(hitAt(version.hwnd, {100, 45}), HTCAPTION);
    EXPECT_EQ(hitAt(version.hwnd, {40, 27}), HTCLIENT) << "the link";
    EXPECT_EQ(hitAt(version.hwnd, {300, 45}), HTCLIENT) << "CLOSE";

    send(version.hwnd, WM_MOUSEMOVE, {300, 45});
    click(version.hwnd, {300, 45});
    EXPECT_TRUE(closes(version));
    open();
    EXPECT_FALSE(version.Regions().IsHot(idClose)) << "reopened without highlight";
}

// Windows sends WM_DPICHANGED, with the place it suggests, when a dialog moves to a monitor of
// another scale; Wine never does, so the test sends it. The dialog takes that place, its size,
// regions and edit field follow the new scale with its lines still one pixel wide, and scaling
// back and forth gives back every object.
TEST_F(Dialog, FollowAChangeOfScaleToTheSuggestedPlaceAndLeakNothing) {
    CConfigWin config;
    CVersionWin version;
    CKeysWin keys;
    ASSERT_TRUE(config.Create(opener.hwnd));
    ASSERT_TRUE(version.Create(opener.hwnd));
    ASSERT_TRUE(keys.Create(opener.hwnd, opener.hwnd));
    const UINT start = config.CurrentScale().dpi;
    struct Row {
        UINT dpi;
        SIZE config, version, keys;
    } rows[] = {{144, {323, 233}, {504, 92}, {390, 210}}, {96, {215, 155}, {336, 61}, {260, 140}}};
    auto change = [](HWND window, UINT dpi, RECT suggested) {
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    };
    auto sizeOf = [](HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        return SIZE{r.right - r.left, r.bottom - r.top};
    };
    for (const Row& row : rows) {
        if (row.dpi == start) continue;
        const Scale s{row.dpi};
        // the suggested size is off by a few pixels: each window keeps its own at the scale
        change(config.hwnd, row.dpi, {40, 50, 47 + row.config.cx, 53 + row.config.cy});
        change(version.hwnd, row.dpi, {60, 70, 67 + row.version.cx, 73 + row.version.cy});
        change(keys.hwnd, row.dpi, {80, 90, 87 + row.keys.cx, 93 + row.keys.cy});
        RECT r{};
        GetWindowRect(config.hwnd, &r);
        EXPECT_EQ(r.left, 40);
        EXPECT_EQ(r.top, 50);
        EXPECT_EQ(sizeOf(config.hwnd).cx, row.config.cx) << row.dpi;
        EXPECT_EQ(sizeOf(config.hwnd).cy, row.config.cy) << row.dpi;
        EXPECT_EQ(sizeOf(version.hwnd).cx, row.version.cx) << row.dpi;
        EXPECT_EQ(sizeOf(version.hwnd).cy, row.version.cy) << row.dpi;
        EXPECT_EQ(sizeOf(keys.hwnd).cx, row.keys.cx) << row.dpi;
        EXPECT_EQ(sizeOf(keys.hwnd).cy, row.keys.cy) << row.dpi;

        // the frame: one line of accent just outside the surface, whatever the scale
        const testkit::Pixels p = testkit::readBitmap(config.BackBuffer());
        ASSERT_EQ(p.width, row.config.cx);
        const int surface = s(2);
        EXPECT_EQ(p.at(surface - 1, 60), accentColor) << row.dpi;
        EXPECT_EQ(p.at(surface - 2, 60), backColor) << row.dpi;
        EXPECT_EQ(p.at(surface, 60), backColor) << row.dpi;

        // the 96-DPI points of the controls, scaled, hit them
        const POINT box{s(boxPoint[0].x), s(boxPoint[0].y)};
        const COLORREF before = testkit::readBitmap(config.BackBuffer()).at(box.x, box.y);
        click(config.hwnd, box);
        const COLORREF after = testkit::readBitmap(config.BackBuffer()).at(box.x, box.y);
        EXPECT_NE(before, after) << row.dpi << ": the box did not flip";
        EXPECT_EQ(config.Regions().HitTest({s(okPoint.x), s(okPoint.y)}), idOk) << row.dpi;
        EXPECT_EQ(config.Regions().HitTest(s(boxPoint[4])), idFitNewClients) << row.dpi;
        EXPECT_EQ(version.Regions().HitTest({s(308), s(45)}), idClose) << row.dpi;
        EXPECT_EQ(keys.Regions().HitTest(s(fieldPoint(3))), idPlaceKeys) << row.dpi;
        EXPECT_EQ(keys.Regions().HitTest(s(keysOkPoint)), idOk) << row.dpi;
        RECT edit{};
        GetWindowRect(config.EditField(), &edit);
        MapWindowPoints(nullptr, config.hwnd, reinterpret_cast<POINT*>(&edit), 2);
        EXPECT_EQ(edit.left, s(10));
        EXPECT_EQ(edit.top, s(110));
        EXPECT_EQ(edit.right, s(207));
        EXPECT_EQ(edit.bottom, s(125));
    }

    auto changeAll = [&](UINT dpi) {
        change(config.hwnd, dpi, {40, 50, 400, 300});
        change(version.hwnd, dpi, {60, 70, 600, 170});
        change(keys.hwnd, dpi, {80, 90, 500, 300});
    };
    EXPECT_EQ(testkit::gdiGrowthOverScaleChanges(changeAll, start, 100), 0);
}

// Each opening makes a window, a back buffer and (for the configuration) an edit field;
// closing must give every one of them back.
TEST_F(Dialog, OpeningAndClosingFiveHundredTimesLeavesNoGdiObjectBehind) {
    CConfigWin config;
    CVersionWin version;
    CKeysWin keys;
    auto cycle = [&] {
        config.Create(opener.hwnd);
        version.Create(opener.hwnd);
        keys.Create(opener.hwnd, opener.hwnd);
        SendMessageW(config.hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(okPoint.x, okPoint.y));
        SendMessageW(version.hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(20, 25));
        SendMessageW(keys.hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(keysOkPoint.x, keysOkPoint.y));
        SendMessageW(config.hwnd, WM_CLOSE, 0, 0);
        SendMessageW(version.hwnd, WM_CLOSE, 0, 0);
        SendMessageW(keys.hwnd, WM_CLOSE, 0, 0);
        pump();
        return !IsWindow(config.hwnd) && !IsWindow(version.hwnd) && !IsWindow(keys.hwnd);
    };
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(cycle());
    const DWORD self = GetCurrentProcessId();
    const long gdi = testkit::countGdiObjects(self);
    ASSERT_GT(gdi, 0);
    int failed = 0;
    for (int i = 0; i < 500; ++i)
        failed += !cycle();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(testkit::countGdiObjects(self), gdi);
}

} // namespace
