#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clients/client_list.h"
#include "clients/selector_win.h"
#include "clients/strip_draw.h"
#include "clients/switch_keys.h"
#include "clients/switcher_model.h"
#include "core/game_client.h"
#include "core/settings.h"
#include "tests/support/testkit.h"
#include "ui/draw.h"

namespace {

HWND fakeWindow(uintptr_t value) {
    return reinterpret_cast<HWND>(value);
}

// Ten pixels a unit: widths tell names apart.
int measureByLength(const CWString& name) {
    return static_cast<int>(name.length()) * 10;
}

struct Slots {
    ClientSlot slots[maxClients]{};
    Slots(std::initializer_list<std::pair<uintptr_t, const wchar_t*>> entries) {
        int i = 0;
        for (const auto& [window, name] : entries) {
            slots[i].window = fakeWindow(window);
            wcscpy_s(slots[i].name, name);
            ++i;
        }
    }
};

// What one refresh does with a published list.
struct Model {
    ClientRecords records;
    ClientOrder order;
    PlayerOrder player;
    int counter = 0;
    HWND self = fakeWindow(0x9000);
    bool keepOpen = false;

    bool refresh(const Slots& published) {
        bool changed = mergeSlots(published.slots, records, counter, measureByLength);
        changed |= sweepRecords(records, self);
        changed |= updatePlaceholder(records, self, keepOpen, measureByLength);
        if (changed) order = displayOrder(records, player);
        return changed;
    }
    std::wstring nameOf(uintptr_t window) const {
        return records.at(fakeWindow(window)).name.c_str();
    }
    std::vector<std::wstring> shown() const {
        std::vector<std::wstring> names;
        for (const HWND window : order)
            names.push_back(records.at(window).name.c_str());
        return names;
    }
};

std::wstring nameOf(const std::wstring& title) {
    wchar_t name[clientNameUnits];
    nameFromTitle(title.c_str(), static_cast<int>(title.size()), name);
    return name;
}

TEST(ClientNames, ComeFromTheTitleAfterItsPrefix) {
    EXPECT_EQ(nameOf(L"QOR - Alice"), L"Alice");
    EXPECT_EQ(nameOf(L"QOR - "), L"QOR - ") << "six characters are taken whole";
    EXPECT_EQ(nameOf(L"QOR - B"), L"B");
    EXPECT_EQ(nameOf(L"QOR"), L"QOR");
    EXPECT_EQ(nameOf(L""), L"");

    const std::wstring prefix = L"QOR - ", longest(61, L'n');
    EXPECT_EQ(nameOf(prefix + longest), longest);
    EXPECT_EQ(nameOf(prefix + longest + L"xyz"), longest) << "cut at 61 units";
    // a pair straddling the cut goes whole; a pair before it stays
    const std::wstring pair = L"\xD83D\xDE00";
    EXPECT_EQ(nameOf(prefix + std::wstring(60, L'n') + pair), std::wstring(60, L'n'));
    EXPECT_EQ(nameOf(prefix + std::wstring(59, L'n') + pair + L"z"), std::wstring(59, L'n') + pair);

    EXPECT_STREQ(numberedName(1).c_str(), L"Client 01");
    EXPECT_STREQ(numberedName(9).c_str(), L"Client 09");
    EXPECT_STREQ(numberedName(10).c_str(), L"Client 10");
    EXPECT_STREQ(numberedName(123).c_str(), L"Client 123");
}

TEST(ClientRecords, KeepTheirNamesAndNumbersAcrossRefreshes) {
    Model m;
    EXPECT_TRUE(m.refresh({{0x10, L"Alice"}, {0x20, L"QOR"}}));
    EXPECT_EQ(m.nameOf(0x10), L"Alice");
    EXPECT_EQ(m.nameOf(0x20), L"Client 02") << "the second record";
    EXPECT_EQ(m.records.at(fakeWindow(0x10)).width, 50);

    EXPECT_FALSE(m.refresh({{0x10, L"Alice"}, {0x20, L"QOR"}})) << "nothing changed";
    EXPECT_FALSE(m.refresh({{0x10, L"QOR"}, {0x20, L"QOR"}})) << "a bare title keeps the name";
    EXPECT_EQ(m.nameOf(0x10), L"Alice");

    EXPECT_TRUE(m.refresh({{0x10, L"Alicia"}, {0x20, L"Bob"}}));
    EXPECT_EQ(m.nameOf(0x10), L"Alicia");
    EXPECT_EQ(m.records.at(fakeWindow(0x10)).width, 60) << "measured again";
    EXPECT_EQ(m.nameOf(0x20), L"Bob");

    // gone for one refresh, back under the same handle: a new client
    EXPECT_TRUE(m.refresh({{0x10, L"Alicia"}}));
    EXPECT_EQ(m.records.count(fakeWindow(0x20)), 0u);
    EXPECT_TRUE(m.refresh({{0x10, L"Alicia"}, {0x20, L"QOR"}}));
    EXPECT_EQ(m.nameOf(0x20), L"Client 03");

    EXPECT_TRUE(m.refresh({}));
    EXPECT_TRUE(m.records.empty());
    EXPECT_TRUE(m.order.empty());
}

TEST(ClientRecords, GoInThePlayersOrderThenByCodeUnitsThenTheLoginScreensByNumber) {
    Model m;
    m.refresh({{0x50, L"bob"},
               {0x40, L"Client 01"},
               {0x70, L"QOR"},
               {0x30, L"Bob"},
               {0x80, L"QOR"},
               {0x20, L"alice"},
               {0x10, L"Zed"},
               {0x60, L"\xE9mile"}});
    EXPECT_EQ(m.shown(), (std::vector<std::wstring>{L"Bob", L"Client 01", L"Zed", L"alice", L"bob",
                                                    L"\xE9mile", L"Client 03", L"Client 05"}));
    // names not running and repeats of none change nothing; the login screen's stay last
    m.player = {L"Gone", L"bob", L"Zed", L"Client 03"};
    m.order = displayOrder(m.records, m.player);
    EXPECT_EQ(m.shown(), (std::vector<std::wstring>{L"bob", L"Zed", L"Bob", L"Client 01", L"alice",
                                                    L"\xE9mile", L"Client 03", L"Client 05"}));
    EXPECT_EQ(namedCells(m.order, m.records), 6u);

    // namesakes each get a cell, side by side, the one seen first first
    Model twins;
    twins.player = {L"Bo", L"Alice"};
    twins.refresh({{0x30, L"Alice"}, {0x20, L"Bo"}, {0x10, L"Alice"}});
    EXPECT_EQ(twins.order, (ClientOrder{fakeWindow(0x20), fakeWindow(0x30), fakeWindow(0x10)}));
    EXPECT_EQ(stripWidthOf(twins.records), 50 + 50 + 20 + 2);
    EXPECT_EQ(displayWidths(twins.order, twins.records), (std::vector<int>{20, 50, 50}));
}

TEST(ClientRecords, ThePlaceholderKeepsTheStripOnlyWhileNoClientRuns) {
    Model m;
    EXPECT_FALSE(m.refresh({})) << "off: nothing to show";
    EXPECT_TRUE(m.records.empty());

    m.keepOpen = true;
    EXPECT_TRUE(m.refresh({}));
    EXPECT_EQ(m.shown(), std::vector<std::wstring>{L"Skarvel"});
    EXPECT_EQ(m.order, ClientOrder{m.self});
    EXPECT_EQ(m.records.at(m.self).width, 70);
    EXPECT_FALSE(m.refresh({})) << "stays without a change";

    EXPECT_TRUE(m.refresh({{0x10, L"Alice"}}));
    EXPECT_EQ(m.shown(), std::vector<std::wstring>{L"Alice"}) << "gone in the same refresh";
    EXPECT_EQ(m.nameOf(0x10), L"Alice");

    EXPECT_TRUE(m.refresh({}));
    EXPECT_EQ(m.shown(), std::vector<std::wstring>{L"Skarvel"}) << "back when the last goes";

    m.keepOpen = false;
    EXPECT_TRUE(m.refresh({}));
    EXPECT_TRUE(m.records.empty());
}

// Hit cells are the widths laid end to end from x = 0, each starting one pixel before the
// previous one ends; a shared column belongs to the earlier cell.
TEST(SwitchKeys, GoRoundTheStripsOrderAndNeverToTheClientInFront) {
    const HWND a = fakeWindow(0x10), b = fakeWindow(0x20), c = fakeWindow(0x30),
               other = fakeWindow(0x90);
    const std::vector<HWND> three{a, b, c};
    const struct {
        const char* what;
        std::vector<HWND> clients;
        HWND front, previous;
        int action;
        HWND to;
    } rows[] = {
        {"next", three, a, nullptr, switchNext, b},
        {"next from the last", three, c, nullptr, switchNext, a},
        {"previous from the first", three, a, nullptr, switchPrevious, c},
        {"next with no client in front", three, other, nullptr, switchNext, a},
        {"previous with no client in front", three, other, nullptr, switchPrevious, c},
        {"last", three, c, a, switchLast, a},
        {"last gone from the list", three, c, fakeWindow(0x40), switchLast, nullptr},
        {"last with none before", three, c, nullptr, switchLast, nullptr},
        {"place 3", three, a, nullptr, switchPlace1 + 2, c},
        {"place 4 of three", three, a, nullptr, switchPlace1 + 3, nullptr},
        {"place of the one in front", three, b, nullptr, switchPlace1 + 1, nullptr},
        {"only the one in front", {a}, a, nullptr, switchNext, nullptr},
        {"no client", {}, other, a, switchPrevious, nullptr},
    };
    for (const auto& row : rows)
        EXPECT_EQ(switchTarget(row.clients, row.front, row.previous, row.action), row.to)
            << row.what;
}

TEST(SwitchKeys, ReadInWordsAndRefuseAKeyAnotherActionHas) {
    const std::pair<DWORD, std::wstring> words[] = {
        {storedKey(VK_RIGHT, MOD_CONTROL | MOD_SHIFT), L"CTRL+SHIFT+RIGHT"},
        {storedKey(VK_F12, MOD_WIN | MOD_ALT), L"ALT+WIN+F12"},
        {storedKey('Q', MOD_SHIFT), L"SHIFT+Q"},
        {storedKey(VK_NEXT, 0), L"PAGE DOWN"},
        {storedKey(VK_NUMPAD7, MOD_CONTROL), L"CTRL+NUM 7"},
        {0, L""},
    };
    for (const auto& [key, text] : words)
        EXPECT_EQ(keyText(key), text);
    EXPECT_EQ(placeKeysText(MOD_CONTROL | MOD_SHIFT), L"CTRL+SHIFT+1-9");
    EXPECT_EQ(placeKeysText(0), L"");

    // a key that types needs Ctrl, Alt or Win with it, never Ctrl+Alt (AltGr)
    const std::pair<DWORD, bool> typing[] = {
        {storedKey('A', 0), false},
        {storedKey('A', MOD_SHIFT), false},
        {storedKey('A', MOD_CONTROL), true},
        {storedKey('E', MOD_CONTROL | MOD_ALT), false},
        {storedKey(VK_SPACE, 0), false},
        {storedKey(VK_F5, 0), true},
        {storedKey(VK_RIGHT, MOD_CONTROL | MOD_ALT), true},
        {storedKey('1', MOD_WIN), true},
    };
    for (const auto& [key, leaves] : typing)
        EXPECT_EQ(leavesTyping(key), leaves) << keyText(key).c_str();

    const DWORD next = storedKey(VK_RIGHT, MOD_CONTROL), last = storedKey('3', MOD_ALT);
    const auto bindings = keyBindings(next, 0, last, MOD_ALT);
    // next, last and nine places; no key for previous
    ASSERT_EQ(bindings.size(), 11u);
    EXPECT_EQ(actionHolding(bindings, next, switchPrevious), switchNext);
    EXPECT_EQ(actionHolding(bindings, next, switchNext), 0) << "its own key is no clash";
    EXPECT_EQ(actionHolding(bindings, last, switchLast), switchPlace1 + 2)
        << "a place key already has Alt+3";
    EXPECT_EQ(actionHolding(bindings, storedKey('3', MOD_CONTROL), switchNext), 0);
}

using Names = std::vector<std::wstring>;

TEST(PlayerOrder, ADragMovesTheDraggedNameAloneBeforeItsNewNeighbour) {
    Names hundred;
    for (int i = 0; i < 100; ++i)
        hundred.push_back(L"n" + std::to_wstring(i));
    Names capped = hundred;
    capped.pop_back();
    capped.insert(capped.begin() + 5, L"Amy");
    const struct {
        const char* what;
        Names stored, shown; // the named cells as the drag left them
        size_t dragged;
        Names expected;
    } rows[] = {
        {"to the first place, nothing stored", {}, {L"Cy", L"Al", L"Bo"}, 0, {L"Cy", L"Al", L"Bo"}},
        {"to the last place",
         {L"Al", L"Bo", L"Cy"},
         {L"Bo", L"Cy", L"Al"},
         2,
         {L"Bo", L"Cy", L"Al"}},
        {"to a middle place",
         {L"Al", L"Bo", L"Cy", L"Di"},
         {L"Al", L"Di", L"Bo", L"Cy"},
         1,
         {L"Al", L"Di", L"Bo", L"Cy"}},
        {"names not running keep their places",
         {L"Al", L"X", L"Bo", L"Y", L"Cy"},
         {L"Cy", L"Al", L"Bo"},
         0,
         {L"Cy", L"Al", L"X", L"Bo", L"Y"}},
        {"names not stored are appended as shown",
         {L"Bo"},
         {L"Zed", L"Bo", L"Amy"},
         0,
         {L"Zed", L"Bo", L"Amy"}},
        {"a namesake is no neighbour",
         {L"Al", L"Bo", L"Cy"},
         {L"Al", L"Bo", L"Bo", L"Cy"},
         2,
         {L"Al", L"Bo", L"Cy"}},
        {"the last name not running goes beyond 100", hundred, {L"Amy", L"n5"}, 0, capped},
    };
    for (const auto& row : rows)
        EXPECT_EQ(orderAfterDrag(row.stored, row.shown, row.dragged), row.expected) << row.what;
}

TEST(PlayerOrder, ACellCarriedPastANeighboursMiddleTakesItsPlace) {
    Model m;
    m.player = {L"Gone"};
    m.refresh({{0x10, L"Bea"}, {0x20, L"Ann"}, {0x30, L"QOR"}, {0x40, L"Cy"}});
    SwitcherModel strip;
    strip.records = m.records;
    strip.Rebuild(m.player);
    const HWND ann = fakeWindow(0x20), bea = fakeWindow(0x10), cy = fakeWindow(0x40),
               login = fakeWindow(0x30);
    ASSERT_EQ(strip.order, (ClientOrder{ann, bea, cy, login}));
    // cells at 96 DPI: Ann 1-31, Bea 30-60, Cy 59-79, the login screen's 78-168
    Names changed;
    strip.Press(login, 120);
    EXPECT_FALSE(strip.DragTo(10, 4, {})) << "the login screen's cell stays";
    strip.Press(cy, 70);
    EXPECT_FALSE(strip.DragTo(66, 4, {})) << "within the drag distance: a click";
    EXPECT_FALSE(strip.Release(m.player, changed));
    strip.Press(cy, 70);
    EXPECT_FALSE(strip.DragTo(160, 4, {})) << "never among the login screen's";
    EXPECT_TRUE(strip.DragTo(40, 4, {}));
    EXPECT_EQ(strip.order, (ClientOrder{ann, cy, bea, login}));
    EXPECT_TRUE(strip.DragTo(5, 4, {}));
    EXPECT_EQ(strip.order, (ClientOrder{cy, ann, bea, login}));
    EXPECT_TRUE(strip.Release(m.player, changed));
    EXPECT_EQ(changed, (Names{L"Gone", L"Cy", L"Ann", L"Bea"}));
    strip.Rebuild(changed);
    EXPECT_EQ(strip.order, (ClientOrder{cy, ann, bea, login}));
}

TEST(StripGeometry, CellsShareTheirBorderColumnsForDrawingAndHitting) {
    ClientRecords records;
    records[fakeWindow(1)].width = 60;
    records[fakeWindow(2)].width = 70;
    records[fakeWindow(3)].width = 80;
    EXPECT_EQ(stripWidthOf(records), 212);
    EXPECT_EQ(stripWidthOf({}), 0);

    const std::vector<RECT> cells = cellRects({60, 70, 80});
    const RECT expected[] = {{1, 1, 61, 16}, {60, 1, 130, 16}, {129, 1, 209, 16}};
    ASSERT_EQ(cells.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(EqualRect(&cells[i], &expected[i])) << "cell " << i;

    const RECT client{0, 0, 212, stripHeight};
    struct Row {
        POINT point;
        int cell;
    } rows[] = {
        {{0, 0}, 0},   {{59, 16}, 0},  {{60, 8}, 1},   {{129, 8}, 1}, {{130, 8}, 2},  {{208, 8}, 2},
        {{209, 8}, 2}, {{210, 8}, -1}, {{30, 17}, -1}, {{-1, 8}, -1}, {{30, -1}, -1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(cellAt(r.point, {60, 70, 80}, client), r.cell) << r.point.x << "," << r.point.y;
    EXPECT_EQ(cellAt({5, 5}, {}, client), -1);
}

TEST(StripDrawing, LightsTheForegroundAndHoveredCellsInsideAPlainBorder) {
    ClientRecords records;
    const HWND a = fakeWindow(1), b = fakeWindow(2), c = fakeWindow(3);
    records[a] = {CWString(L"Ann"), a, 60, 0, 1};
    records[b] = {CWString(L"Bea"), b, 70, 0, 2};
    records[c] = {CWString(L"Cid"), c, 80, 0, 3};
    const ClientOrder order = displayOrder(records, {});
    const int width = stripWidthOf(records);

    auto draw = [&](HWND foreground, HWND hovered) {
        WindowDC screen(nullptr);
        MemoryDC dc(screen);
        Bitmap buffer(CreateCompatibleBitmap(screen, width, stripHeight));
        Font font = createUiFont(textFontHeight, FW_BOLD);
        {
            Selection keep(dc, buffer.get());
            drawStrip(dc, width, order, records, foreground, hovered, font.get());
        }
        return testkit::readBitmap(buffer.get());
    };

    const testkit::Pixels p = draw(b, nullptr);
    ASSERT_EQ(p.width, 212);
    for (int y = 0; y < stripHeight; ++y)
        for (int x : {0, 209, 210, 211})
            EXPECT_EQ(p.at(x, y), backColor) << x << "," << y;
    for (int x = 0; x < width; ++x) {
        EXPECT_EQ(p.at(x, 0), backColor) << x;
        EXPECT_EQ(p.at(x, 16), backColor) << x;
    }
    // frames: shared columns 60 and 129, last column 208, rows 1 and 15
    for (int y = 1; y < 16; ++y)
        for (int x : {1, 60, 129, 208})
            EXPECT_EQ(p.at(x, y), accentColor) << x << "," << y;
    for (int x = 1; x < 209; ++x) {
        EXPECT_EQ(p.at(x, 1), accentColor) << x;
        EXPECT_EQ(p.at(x, 15), accentColor) << x;
    }
    // the lit cell is filled at its edges; the others are not; text lies in the middle
    EXPECT_EQ(p.at(62, 2), accentColor);
    EXPECT_EQ(p.at(127, 14), accentColor);
    EXPECT_EQ(p.at(3, 2), backColor);
    EXPECT_EQ(p.at(206, 14), backColor);
    int glyphs = 0;
    for (int x = 61; x < 129; ++x)
        for (int y = 2; y < 15; ++y)
            glyphs += p.at(x, y) != accentColor;
    EXPECT_GT(glyphs, 10) << "the name is drawn";

    const testkit::Pixels hovered = draw(b, c);
    EXPECT_EQ(hovered.at(131, 2), accentColor) << "hover lights too";
    EXPECT_EQ(hovered.at(62, 2), accentColor);
    const testkit::Pixels none = draw(nullptr, nullptr);
    EXPECT_EQ(none.at(62, 2), backColor);
}

TEST(StripDrawing, EachStateIsToldApartAndTheLightShowsUnderIt) {
    for (const Scale scale : {Scale{96}, Scale{144}}) {
        SCOPED_TRACE(scale.dpi);
        ClientRecords records;
        const HWND plain = fakeWindow(1), small = fakeWindow(2), hung = fakeWindow(3),
                   barred = fakeWindow(4);
        records[plain] = {CWString(L"Ann"), plain, scale(60), 0, 1};
        records[small] = {CWString(L"Bea"), small, scale(60), 0, 2};
        records[small].minimised = true;
        records[hung] = {CWString(L"Cid"), hung, scale(60), 0, 3};
        records[hung].hung = true;
        records[barred] = {CWString(L"Dee"), barred, scale(60), 0, 4};
        records[barred].outOfReach = true;
        const ClientOrder order = displayOrder(records, {});
        const std::vector<RECT> cells = cellRects(displayWidths(order, records), scale);
        const int width = stripWidthOf(records, scale), height = scale(stripHeight);
        WindowDC screen(nullptr);
        MemoryDC dc(screen);
        Bitmap buffer(CreateCompatibleBitmap(screen, width, height));
        Font font = createUiFont(scale(textFontHeight), FW_BOLD);
        for (const HWND lit : {HWND(nullptr), small, hung}) {
            {
                Selection keep(dc, buffer.get());
                drawStrip(dc, width, order, records, lit, nullptr, font.get(), scale);
            }
            const testkit::Pixels p = testkit::readBitmap(buffer.get());
            auto brightest = [&](const RECT& cell) {
                int most = 0;
                for (int x = cell.left + scale(8); x < cell.right - scale(8); ++x)
                    for (int y = cell.top + scale(2); y < cell.bottom - scale(2); ++y)
                        most = std::max(most, int(GetGValue(p.at(x, y))));
                return most;
            };
            EXPECT_GE(brightest(cells[0]), 180) << "a plain name in full";
            EXPECT_LE(brightest(cells[1]), int(GetGValue(dimmedTextColor))) << "minimised: dimmed";
            EXPECT_GT(brightest(cells[1]), int(GetGValue(accentColor))) << "yet readable";
            for (const RECT& bar : notAnsweringMark(cells[2], scale))
                EXPECT_EQ(p.at(bar.left, bar.bottom - 1), linkColor) << "not answering: marked";
            const RECT sign = outOfReachSign(cells[3], scale);
            EXPECT_EQ(p.at(sign.right - 1, sign.top), linkColor) << "out of reach: signed";
            EXPECT_EQ(p.at(outOfReachSign(cells[2], scale).left, sign.top),
                      lit == hung ? accentColor : backColor)
                << "each sign alone";
            for (int i : {1, 2})
                EXPECT_EQ(p.at(cells[size_t(i)].left + scale.line(1), cells[size_t(i)].bottom - 2),
                          order[size_t(i)] == lit ? accentColor : backColor)
                    << "the light under state " << i;
        }
    }
}

// In-process "qorMainView" windows: the scan reads titles through WM_GETTEXT as it would
// from the game's process.
class Scan : public testing::Test {
  protected:
    static LRESULT CALLBACK procedure(HWND h, UINT m, WPARAM w, LPARAM l) {
        return DefWindowProcW(h, m, w, l);
    }
    void SetUp() override {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = clientClassName;
        RegisterClassExW(&wc);
        wc.lpszClassName = L"qorMainViewX";
        RegisterClassExW(&wc);
    }
    void TearDown() override {
        for (HWND w : windows)
            DestroyWindow(w);
        UnregisterClassW(clientClassName, GetModuleHandleW(nullptr));
        UnregisterClassW(L"qorMainViewX", GetModuleHandleW(nullptr));
    }
    HWND open(const std::wstring& title, const wchar_t* className = clientClassName) {
        HWND w = CreateWindowExW(0, className, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        windows.push_back(w);
        return w;
    }
    std::vector<std::wstring> scan() {
        ScanClients(published, known);
        std::vector<std::wstring> names;
        for (const ClientSlot& slot : published.publishedSlots)
            if (slot.window) names.push_back(slot.name);
        return names;
    }
    std::vector<HWND> windows;
    PublishedScan published;
    KnownTitles known;
};

TEST_F(Scan, ListsTwentyClientsAtMostWithTheirNames) {
    open(L"QOR - Other", L"qorMainViewX");
    const HWND longTitle = open(L"QOR - " + std::wstring(100000, L'w'));
    std::vector<std::wstring> names = scan();
    ASSERT_EQ(names.size(), 1u) << "only the exact class";
    EXPECT_EQ(names[0], std::wstring(61, L'w'));
    DestroyWindow(longTitle);

    // a pair that the length limit splits goes whole, read as the title is, not as a name
    const HWND split = open(L"QOR - " + std::wstring(60, L'w') + L"\xD83D\xDE00" + L"tail");
    names = scan();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], std::wstring(60, L'w'));
    DestroyWindow(split);

    for (int i = 0; i < 21; ++i)
        open(L"QOR - P" + std::to_wstring(i));
    names = scan();
    EXPECT_EQ(names.size(), 20u);

    for (HWND w : windows)
        DestroyWindow(w);
    windows.clear();
    EXPECT_TRUE(scan().empty()) << "a scan replaces the whole list";
}

} // namespace
