#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "clients/client_pass.h"
#include "clients/places.h"
#include "core/game_client.h"
#include "core/user32.h"
#include "tests/support/testkit.h"
#include "tools/qor/qor_protocol.h"

namespace {

TEST(ClientPass, OnlyTheExactClassIsAClient) {
    struct Row {
        const wchar_t* name;
        bool client;
    } rows[] = {{L"qorMainView", true},
                {L"qorMainViewX", false},
                {L"qormainview", false},
                {L"QORMAINVIEW", false},
                {L"qorMainVie", false},
                {L" qorMainView", false},
                {L"", false}};
    for (const Row& row : rows)
        EXPECT_EQ(isClientClass(row.name), row.client) << row.name;
}

// "Open client" starts the client in this folder, as its shortcut does.
TEST(ClientPass, TheWorkingFolderIsTheClientPathsOwn) {
    struct Row {
        const wchar_t* path;
        const wchar_t* folder;
    } rows[] = {{L"C:\\Games\\QOR\\qor.exe", L"C:\\Games\\QOR"},
                {L"C:\\qor.exe", L"C:\\"},
                {L"\\qor.exe", L"\\"},
                {L"\\\\server\\games\\qor.exe", L"\\\\server\\games"},
                {L"D:/Games/qor.exe", L"D:/Games"},
                {L"Games\\qor.exe", L"Games"},
                {L"qor.exe", L""},
                {L"", L""}};
    for (const Row& row : rows)
        EXPECT_STREQ(clientFolder(row.path).c_str(), row.folder) << row.path;
}

TEST(ClientPass, CaptionNeedsBothBorderAndDialogFrame) {
    struct Row {
        LONG style;
        bool caption;
    } rows[] = {{WS_CAPTION, true},      {WS_OVERLAPPEDWINDOW, true},
                {restoredStyle, true},   {WS_BORDER, false},
                {WS_DLGFRAME, false},    {fittedStyle, false},
                {LONG(WS_POPUP), false}, {0, false}};
    for (const Row& row : rows)
        EXPECT_EQ(hasCaption(row.style), row.caption) << std::hex << row.style;
    EXPECT_EQ(fittedStyle, LONG(WS_VISIBLE | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_EQ(restoredStyle, LONG(WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CAPTION |
                                  WS_SYSMENU | WS_MINIMIZEBOX));
}

TEST(ClientPass, BoundsSitInTheWorkAreaCornerAndKeepTheClientSize) {
    struct Row {
        const char* what;
        RECT work;
        SIZE client;
        RECT fitted;
        RECT restored; // with a 4 px frame and a 19 px caption
    } rows[] = {
        {"primary, taskbar at the bottom",
         {0, 0, 1280, 780},
         {1024, 768},
         {0, 0, 1024, 768},
         {0, 0, 1032, 795}},
        {"taskbar at the top",
         {0, 40, 1920, 1080},
         {800, 600},
         {0, 40, 800, 640},
         {0, 40, 808, 667}},
        {"taskbar at the left",
         {62, 0, 1920, 1080},
         {640, 480},
         {62, 0, 702, 480},
         {62, 0, 710, 507}},
        {"monitor left of the primary",
         {-1920, 0, 0, 1040},
         {1024, 768},
         {-1920, 0, -896, 768},
         {-1920, 0, -888, 795}},
        {"empty client", {0, 0, 1280, 780}, {0, 0}, {0, 0, 0, 0}, {0, 0, 8, 27}},
    };
    for (const Row& row : rows) {
        const RECT fitted = fittedBounds(row.work, row.client);
        const RECT restored = restoredBounds(row.work, row.client, 4, 4, 19);
        EXPECT_TRUE(EqualRect(&fitted, &row.fitted)) << row.what;
        EXPECT_TRUE(EqualRect(&restored, &row.restored)) << row.what;
    }
}

// Frame sizes Windows 10 gives with its default metrics. SM_CXDLGFRAME and SM_CYDLGFRAME are
// a border and an edge, which it does not scale: 3 at every DPI. SM_CYCAPTION is the caption
// height (CaptionHeight -330 twips, 22 px at 96 DPI) scaled to the DPI, plus the border.
TEST(ClientPass, RestoredClientAreaIsTheFittedOneAtEveryDpi) {
    struct Row {
        const char* what;
        int frameX, frameY, caption;
    } rows[] = {{"96 DPI", 3, 3, 23},
                {"120 DPI", 3, 3, 29},
                {"144 DPI", 3, 3, 34},
                {"192 DPI", 3, 3, 45},
                {"a theme with a wider side frame", 5, 2, 30}};
    const RECT work{62, 40, 1920, 1080}; // taskbars at the left and the top
    const SIZE clients[] = {{1024, 768}, {800, 600}, {1280, 720}, {333, 222}};
    for (const Row& row : rows) {
        for (const SIZE client : clients) {
            const RECT fitted = fittedBounds(work, client);
            const RECT restored = restoredBounds(work, client, row.frameX, row.frameY, row.caption);
            // what a fixed frame with a caption leaves inside the restored rectangle
            const RECT inner{restored.left + row.frameX, restored.top + row.frameY + row.caption,
                             restored.right - row.frameX, restored.bottom - row.frameY};
            EXPECT_EQ(inner.right - inner.left, fitted.right - fitted.left) << row.what;
            EXPECT_EQ(inner.bottom - inner.top, fitted.bottom - fitted.top) << row.what;
            EXPECT_EQ(fitted.right - fitted.left, client.cx) << row.what;
            EXPECT_EQ(fitted.bottom - fitted.top, client.cy) << row.what;
            EXPECT_EQ(restored.left, work.left) << row.what;
            EXPECT_EQ(restored.top, work.top) << row.what;
            EXPECT_EQ(fitted.left, work.left) << row.what;
            EXPECT_EQ(fitted.top, work.top) << row.what;
        }
    }
}

// A pass reports, once, the clients it had to leave and the ones it changed; the notice names
// each left client under the strip's name where it has one, one line per reason. Windows'
// refusal of a client started as administrator cannot be made under Wine (no integrity
// levels): the stand-in turns the change down itself, and that reason's wording is a row.
TEST(ClientPass, AClientThatRefusesIsReportedByName) {
    auto started = testkit::startClients(
        {L"--title \"QOR - Alice\" --size 320x240 --refuse-styles", L"--title \"QOR - Bob\""});
    ASSERT_EQ(started.size(), 2u);
    const HWND alice = started[0].hwnd, bob = started[1].hwnd;
    ASSERT_TRUE(alice && bob);
    ClientPasses passes;
    passes.Start(fitPass);
    ASSERT_TRUE(testkit::pumpUntil([&] { return passes.Ended(); }, 10000));
    PassReport report, again;
    ASSERT_TRUE(passes.TakeReport(report));
    EXPECT_FALSE(passes.TakeReport(again)) << "one report per command";
    ASSERT_EQ(report.refused.size(), 1u);
    EXPECT_EQ(report.refused[0].window, alice);
    EXPECT_EQ(report.refused[0].why, Refusal::refused);
    EXPECT_EQ(report.changed, std::vector<HWND>{bob});
    EXPECT_STREQ(refusalNotice(report).c_str(), L"ALICE REFUSED THE CHANGE AND WAS LEFT AS IT WAS");
    // a client that closes before the report refused nothing: no notice, and no sign
    passes.Start(fitPass);
    ASSERT_TRUE(testkit::pumpUntil([&] { return passes.Ended(); }, 10000));
    PostMessageW(alice, QOR_EXIT, 0, 0);
    ASSERT_TRUE(testkit::pumpUntil([&] { return !IsWindow(alice); }, 5000));
    ASSERT_TRUE(passes.TakeReport(again));
    EXPECT_TRUE(again.refused.empty());
    EXPECT_STREQ(refusalNotice(again).c_str(), L"");

    const HWND cleo = reinterpret_cast<HWND>(0x30);
    auto shown = [&](HWND window) { return CWString(window == cleo ? L"Client 01" : L""); };
    struct Row {
        int mode;
        std::vector<RefusedClient> refused;
        const wchar_t* notice;
    } rows[] = {
        {fitPass,
         {{cleo, Refusal::elevated, L"QOR"}},
         L"CLIENT 01 RUNS AS ADMINISTRATOR: START SKARVEL AS ADMINISTRATOR TOO, IT TAKES THIS "
         L"ONE'S PLACE AND CAN FIT IT"},
        {restorePass,
         {{alice, Refusal::elevated, L"Alice"},
          {bob, Refusal::refused, L"Bob"},
          {cleo, Refusal::elevated, L""}},
         L"ALICE, CLIENT 01 RUN AS ADMINISTRATOR: START SKARVEL AS ADMINISTRATOR TOO, IT TAKES "
         L"THIS ONE'S PLACE AND CAN RESTORE THEM\nBOB REFUSED THE CHANGE AND WAS LEFT AS IT WAS"},
        {fitPass, {}, L""},
    };
    for (const Row& row : rows) {
        PassReport made;
        made.mode = row.mode;
        made.refused = row.refused;
        EXPECT_STREQ(refusalNotice(made, shown).c_str(), row.notice) << row.notice;
    }
}

// Only the pass's own thread changes its awareness: the program's windows keep theirs.
TEST(ClientPass, ThePassThreadAloneIsPerMonitorAware) {
    using Context = DPI_AWARENESS_CONTEXT;
    const auto setThread =
        user32Function<Context(WINAPI*)(Context)>("SetThreadDpiAwarenessContext");
    const auto getThread = user32Function<Context(WINAPI*)()>("GetThreadDpiAwarenessContext");
    const auto equal =
        user32Function<BOOL(WINAPI*)(Context, Context)>("AreDpiAwarenessContextsEqual");
    const auto valid = user32Function<BOOL(WINAPI*)(Context)>("IsValidDpiAwarenessContext");
    if (!setThread || !getThread || !equal || !valid)
        GTEST_SKIP() << "no per-thread DPI awareness here (before Windows 10 1607)";
    // version 2 came with Windows 10 1703; Wine 8 has only the first
    const Context perMonitor = valid(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)
                                   ? DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
                                   : DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE;

    // the pass as its worker runs it, on a thread that starts out unaware, asked afterwards;
    // this thread keeps answering meanwhile, in case a client window of this process is about
    std::atomic<bool> done{false}, passPerMonitor{false};
    std::thread worker([&] {
        setThread(DPI_AWARENESS_CONTEXT_UNAWARE);
        clientPassThread(reinterpret_cast<void*>(static_cast<intptr_t>(restorePass)));
        passPerMonitor = equal(getThread(), perMonitor) != FALSE;
        done = true;
    });
    testkit::pumpUntil([&] { return done.load(); }, 10000);
    worker.join();
    EXPECT_TRUE(passPerMonitor);

    const Context before = getThread();
    ClientPasses passes;
    passes.Start(restorePass);
    EXPECT_TRUE(testkit::pumpUntil([&] { return passes.Ended(); }, 10000));
    EXPECT_TRUE(equal(getThread(), before));
}

} // namespace

namespace {

TEST(Places, GoAtTheirOffsetScaledWithTheWorkAreaAndArePulledIn) {
    const Place place{L"m", {100, 50}, {1000, 800}};
    const struct {
        const char* what;
        RECT work;
        SIZE window;
        POINT expected;
    } rows[] = {
        {"the same work area", {0, 0, 1000, 800}, {300, 200}, {100, 50}},
        {"a work area at negative coordinates", {-1000, -200, 0, 600}, {300, 200}, {-900, -150}},
        {"a larger work area (a new resolution)", {0, 20, 1500, 1220}, {300, 200}, {150, 95}},
        {"sticking out right and below", {0, 0, 1000, 800}, {950, 790}, {50, 10}},
        {"too wide: the top-left stays inside", {0, 0, 1000, 800}, {1200, 200}, {100, 50}},
    };
    for (const auto& row : rows) {
        const POINT at = placedOn(place, row.work, row.window);
        EXPECT_EQ(at.x, row.expected.x) << row.what;
        EXPECT_EQ(at.y, row.expected.y) << row.what;
    }
    // pulled in at every edge
    const RECT work{-100, -100, 500, 400};
    const POINT in[] = {{-300, 0}, {0, -300}, {450, 0}, {0, 350}, {900, 900}},
                out[] = {{-100, 0}, {0, -100}, {400, 0}, {0, 300}, {400, 300}};
    for (size_t i = 0; i < std::size(in); ++i) {
        const POINT at = pulledIn(in[i], {100, 100}, work);
        EXPECT_TRUE(at.x == out[i].x && at.y == out[i].y) << i;
    }
    const POINT huge = pulledIn({2000, -2000}, {700, 600}, work);
    EXPECT_TRUE(huge.x == 499 && huge.y == -100) << "the top-left of a window that cannot fit";
}

TEST(Places, AreStoredAsVersionedTextAndADamagedOneIsNoPlace) {
    const Place place{L"\\\\?\\DISPLAY#ABC1234#5&1&UID4353#{e6f07b5f}", {-20, 35}, {1920, 1040}};
    const std::wstring text = placeText(place);
    EXPECT_EQ(text, L"1 -20 35 1920 1040 \\\\?\\DISPLAY#ABC1234#5&1&UID4353#{e6f07b5f}");
    Place read;
    ASSERT_TRUE(placeFromText(text, read));
    EXPECT_TRUE(read.monitor == place.monitor && read.offset.x == -20 && read.offset.y == 35 &&
                read.work.cx == 1920 && read.work.cy == 1040);
    for (const wchar_t* damaged : {L"", L"2 0 0 100 100 m", L"1 0 0 100 100", L"1 0 0 100 100 ",
                                   L"1 0 0 0 100 m", L"1 0 x 100 100 m", L"1 0 0 100 -5 m",
                                   L"1 99999999 0 100 100 m", L"1  0 0 100 100 m", L"1 0 0 100"})
        EXPECT_FALSE(placeFromText(damaged, read)) << "\"" << testing::PrintToString(damaged);
    EXPECT_EQ(placesNotice({}), L"NO PLACE REMEMBERED: NO CLIENT SHOWS A CHARACTER ON A MONITOR");
    EXPECT_EQ(placesNotice({L"Alice", L"Bob"}), L"2 PLACES REMEMBERED: ALICE, BOB");
}

} // namespace
