// The real program from outside under hostile input: broken settings, odd client titles,
// random messages, clients that crash mid-pass, racing starts. Nothing lost, nothing crashes.
#include <gtest/gtest.h>

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "clients/client_pass.h"
#include "clients/selector_win.h"
#include "core/game_client.h"
#include "core/handles.h"
#include "core/messages.h"
#include "dialogs/config_win.h"
#include "dialogs/version_win.h"
#include "tests/support/skarvel_process.h"
#include "tools/qor/qor_protocol.h"
#include "ui/draw.h"
#include "ui/window.h"

namespace {

using testkit::waitUntil;

constexpr wchar_t settingsKey[] = L"Software\\Skarvel";
constexpr wchar_t runKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t runValue[] = L"Skarvel";

// ---------------------------------------------------------------------------------------
// Registry helpers

struct Stored {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const Stored& other) const {
        return exists == other.exists && type == other.type && bytes == other.bytes;
    }
};

Stored readValue(HKEY root, const wchar_t* path, const wchar_t* name) {
    Stored value;
    RegKey key;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return value;
    for (;;) {
        DWORD size = 0;
        if (RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) !=
            ERROR_SUCCESS)
            return value;
        value.bytes.assign(size + 2, 0); // a zero-size query must still get a buffer
        DWORD got = size;
        const LONG status =
            RegQueryValueExW(key.get(), name, nullptr, &value.type, value.bytes.data(), &got);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return Stored();
        value.bytes.resize(got);
        value.exists = true;
        return value;
    }
}

Stored setting(const wchar_t* name) {
    return readValue(HKEY_CURRENT_USER, settingsKey, name);
}

DWORD valueCount(const wchar_t* path) {
    RegKey key;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return 0;
    RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                     nullptr, nullptr, nullptr, nullptr);
    return count;
}

std::string describe(const Stored& value) {
    if (!value.exists) return "missing";
    std::string text = "type ";
    text += std::to_string(value.type);
    text += ", ";
    text += std::to_string(value.bytes.size());
    text += " bytes:";
    for (size_t i = 0; i < value.bytes.size() && i < 8; ++i) {
        text += ' ';
        text += std::to_string(value.bytes[i]);
    }
    if (value.bytes.size() > 8) text += " ...";
    return text;
}

// The shell's handler for https, pointed at a stand-in so a link never reaches a browser.
class LinkHandler {
  public:
    LinkHandler() {
        const std::wstring command =
            L"\"" + testkit::binDir() + L"qor.exe\" --class HostileLink --pos 0,0 --size 40x40";
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            saved.push_back({root, readValue(root, path, nullptr)});
            RegSetKeyValueW(root, path, nullptr, REG_SZ, command.c_str(),
                            DWORD((command.size() + 1) * sizeof(wchar_t)));
        }
    }
    LinkHandler(const LinkHandler&) = delete;
    LinkHandler& operator=(const LinkHandler&) = delete;
    ~LinkHandler() {
        for (const auto& [root, old] : saved) {
            if (old.exists)
                RegSetKeyValueW(root, path, nullptr, old.type, old.bytes.data(),
                                DWORD(old.bytes.size()));
            else
                RegDeleteKeyValueW(root, path, nullptr);
        }
    }

  private:
    static constexpr wchar_t path[] = L"Software\\Classes\\https\\shell\\open\\command";
    std::vector<std::pair<HKEY, Stored>> saved;
};

// Ends, by id, every process that `parent` started (links, clients it opened).
void endChildrenOf(DWORD parent) {
    std::vector<DWORD> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent)
            children.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    for (DWORD child : children)
        testkit::Process::adopt(child).kill();
}

// ---------------------------------------------------------------------------------------
// The program's windows from outside

RECT rectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

bool sized(HWND window, int width, int height) {
    const RECT r = rectOf(window);
    return r.right - r.left == width && r.bottom - r.top == height;
}

bool isDialog(HWND window) {
    return sized(window, configWidth, configHeight) || sized(window, versionWidth, versionHeight);
}

// The strip: the program's visible tool window one strip high.
HWND findStrip(DWORD pid) {
    for (HWND window : testkit::findWindows(windowClassName, pid)) {
        const RECT r = rectOf(window);
        if (IsWindowVisible(window) &&
            (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) &&
            r.bottom - r.top == stripHeight)
            return window;
    }
    return nullptr;
}

// Closes the dialogs the program has open; true once none is left.
bool closeDialogs(DWORD pid) {
    for (HWND window : testkit::findWindows(windowClassName, pid))
        if (IsWindowVisible(window) && isDialog(window)) PostMessageW(window, WM_CLOSE, 0, 0);
    return waitUntil(
        [&] {
            for (HWND window : testkit::findWindows(windowClassName, pid))
                if (IsWindowVisible(window) && isDialog(window)) return false;
            return true;
        },
        5000);
}

bool noInstallEntry() {
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
        RegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, clientUninstallKey, 0, KEY_QUERY_VALUE | view,
                          key.put()) == ERROR_SUCCESS)
            return false;
    }
    return true;
}

class Hostile : public testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey);
        runEntryBefore = readValue(HKEY_CURRENT_USER, runKey, runValue);
    }
    void TearDown() override {
        if (skarvel.tray && skarvel.process.running()) {
            EXPECT_TRUE(exitSkarvel(skarvel));
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey);
        // a save with "Load at windows startup" on registers the program
        if (!runEntryBefore.exists) RegDeleteKeyValueW(HKEY_CURRENT_USER, runKey, runValue);
    }
    void start() {
        skarvel = startSkarvel();
        ASSERT_TRUE(skarvel.tray) << "skarvel did not start";
        ASSERT_TRUE(answers(skarvel.tray));
    }
    DWORD pid() const { return skarvel.process.id(); }

    Skarvel skarvel;
    Stored runEntryBefore;
};

// ---------------------------------------------------------------------------------------
// Settings of every wrong type and size

struct StoredSetting {
    const wchar_t* name;
    bool number; // a REG_DWORD with a default; else the path text
    DWORD byDefault;
    bool keys = false; // read as the default when wrong, and left as it is until a save of keys
};
const StoredSetting storedSettings[] = {
    {L"Client Switcher", true, 1},
    {L"Keep switcher open", true, 0},
    {L"Use switcher to open clients", true, 0},
    {L"Load at windows startup", true, 0},
    {L"Switcher Position x", true, 300},
    {L"Switcher Position y", true, 0},
    {L"Switcher Position physical", true, 1},
    {L"QOR Online path", false, 0},
    {L"Switch keys", true, 0, true},
    {L"Next client key", true, 0, true},
    {L"Previous client key", true, 0, true},
    {L"Last client key", true, 0, true},
    {L"Place keys", true, 0, true},
    {L"Fit new clients", true, 0, true},
};

struct WrongForm {
    DWORD type;
    size_t bytes;
};

// Every form a value can take but its own: for a number, anything but four bytes of
// REG_DWORD; for the path, any type and size (a text of any length is its own).
std::vector<WrongForm> wrongForms(const StoredSetting& value) {
    std::vector<WrongForm> forms;
    for (DWORD type : {REG_SZ, REG_BINARY, REG_MULTI_SZ, REG_QWORD, REG_DWORD})
        for (size_t bytes : {0, 1, 3, 4, 5, 10000})
            if (!(value.number && type == REG_DWORD && bytes == 4)) forms.push_back({type, bytes});
    return forms;
}

// Stores exactly the data given. The system adds a NUL to a string whose count seems to
// have left it out, judging by the units around the data: padding keeps it from guessing.
void putRaw(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    std::vector<BYTE> padded(2, 0);
    padded.insert(padded.end(), data.begin(), data.end());
    padded.insert(padded.end(), 4, 0xFF);
    RegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, settingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), name, 0, type, padded.data() + 2, DWORD(data.size())),
              ERROR_SUCCESS);
}

TEST_F(Hostile, EveryWrongTypeAndSizeOfEverySettingStartsAndFollowsTheStoreRule) {
    // with an install entry an empty path would be replaced by the found one
    ASSERT_TRUE(noInstallEntry());
    constexpr wchar_t foreign[] = L"Not ours";
    const std::vector<BYTE> foreignData = {9, 8, 7};

    std::vector<std::vector<WrongForm>> forms;
    size_t rounds = 0;
    for (const auto& value : storedSettings) {
        forms.push_back(wrongForms(value));
        rounds = (std::max)(rounds, forms.back().size());
    }

    // each value is judged alone, so every value is wrong at once, one form per start
    for (size_t round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        RegDeleteTreeW(HKEY_CURRENT_USER, settingsKey);
        std::vector<Stored> before;
        for (size_t v = 0; v < std::size(storedSettings); ++v) {
            const WrongForm form = forms[v][round % forms[v].size()];
            std::vector<BYTE> data(form.bytes);
            for (size_t k = 0; k < data.size(); ++k)
                data[k] = BYTE(0x21 + (v * 31 + round * 17 + k * 7) % 90); // never NUL
            putRaw(storedSettings[v].name, form.type, data);
            before.push_back(setting(storedSettings[v].name));
            ASSERT_EQ(before.back().type, form.type);
            ASSERT_EQ(before.back().bytes, data) << "stored other bytes than given";
        }
        putRaw(foreign, REG_BINARY, foreignData);
        ASSERT_FALSE(HasFatalFailure());

        start();
        EXPECT_TRUE(exitSkarvel(skarvel)) << "no clean exit";
        skarvel.tray = nullptr;

        for (size_t v = 0; v < std::size(storedSettings); ++v) {
            const StoredSetting& value = storedSettings[v];
            SCOPED_TRACE(value.name);
            const Stored after = setting(value.name);
            // numbers: exactly four bytes are read whatever the type; texts: any data reads
            const bool readable = !value.number || value.keys || before[v].bytes.size() == 4;
            if (readable) {
                EXPECT_TRUE(after == before[v])
                    << "before " << describe(before[v]) << "; after " << describe(after);
            } else {
                EXPECT_EQ(after.type, DWORD(REG_DWORD)) << describe(before[v]);
                ASSERT_EQ(after.bytes.size(), 4u) << describe(before[v]);
                DWORD number = 0;
                memcpy(&number, after.bytes.data(), 4);
                EXPECT_EQ(number, value.byDefault) << describe(before[v]);
            }
        }
        const Stored foreignAfter = setting(foreign);
        EXPECT_EQ(foreignAfter.type, DWORD(REG_BINARY));
        EXPECT_EQ(foreignAfter.bytes, foreignData);
        EXPECT_EQ(valueCount(settingsKey), std::size(storedSettings) + 1) << "values came or went";
        EXPECT_TRUE(readValue(HKEY_CURRENT_USER, runKey, runValue) == runEntryBefore)
            << "loading touched the start-up entry";
    }
}

// ---------------------------------------------------------------------------------------
// Client titles of every odd length and content

// What the strip should call a client with this raw title, by the naming rule: all but the
// first six units of a longer title, at most 61 units and never half a pair, up to a NUL.
std::wstring expectedName(const std::wstring& title) {
    std::wstring name = title.size() > 6 ? title.substr(6) : title;
    if (name.size() > 61) {
        name.resize(61);
        if (name.back() >= 0xD800 && name.back() <= 0xDBFF) name.pop_back();
    }
    return name.substr(0, name.find(L'\0'));
}

// The cell width the strip gives a name: its text in the measuring font plus the margins.
int cellWidth(const std::wstring& name) {
    Font font = createUiFont(measureFontHeight, FW_BOLD);
    HDC screen = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(screen, font.get());
    SIZE extent{};
    GetTextExtentPoint32W(screen, name.c_str(), int(name.size()), &extent);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return extent.cx + 24;
}

bool setTitle(HWND client, const std::wstring& raw) {
    COPYDATASTRUCT data{};
    data.dwData = QOR_COPYDATA_TITLE;
    data.cbData = DWORD(raw.size() * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(raw.data());
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(client, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_ABORTIFHUNG, 5000, &result) &&
           result == TRUE;
}

// Letters, so the names have some width to measure.
std::wstring letters(size_t count, wchar_t first = L'a') {
    std::wstring text(count, L'\0');
    for (size_t i = 0; i < count; ++i)
        text[i] = wchar_t(first + i % 26);
    return text;
}

TEST_F(Hostile, OddTitlesKeepTheStripSaneAndANewClientStillGetsItsCell) {
    const std::wstring prefix = L"QOR - ";
    const wchar_t high = 0xD83D, low = 0xDE00; // a pair when together
    std::wstring straddling = prefix + letters(60) + high + low + letters(99933);
    std::wstring highAtCut = prefix + letters(60) + high + letters(99933);
    std::wstring mixed = prefix + letters(100000 - 6);
    for (size_t i = 20; i < mixed.size(); i += 7)
        mixed[i] = i % 3 == 0 ? L'\0' : i % 3 == 1 ? high : low;
    // each round retitles the same five clients
    const std::vector<std::vector<std::wstring>> rounds = {
        {L"", L"QOR - ", prefix + L"x", letters(61), letters(62)},
        {letters(100000), prefix + letters(61), prefix + letters(62), straddling, highAtCut},
        {prefix + low + L"Alice", prefix + L"Bob" + high, std::wstring(L"Q\0R - Carol", 11),
         prefix + L"Da\0ve", mixed},
        {std::wstring(7, L'\0'), prefix + high + high + low, prefix + L"Eve",
         std::wstring(100000, low), std::wstring(100000, L'\0')},
    };
    const std::vector<std::wstring> firstTitles = {L"QOR - One", L"QOR - Two", L"QOR - Three",
                                                   L"QOR - Four", L"QOR - Five"};
    std::vector<std::wstring> args;
    for (size_t i = 0; i < firstTitles.size(); ++i)
        args.push_back(L"--title \"" + firstTitles[i] + L"\" --size 200x150 --pos " +
                       std::to_wstring(40 + 30 * i) + L"," + std::to_wstring(60 + 30 * i));
    auto clients = testkit::startClients(args);
    for (const auto& client : clients)
        ASSERT_TRUE(client.hwnd) << "a stand-in did not start";
    start();

    HWND strip = nullptr;
    auto stripIs = [&](int width) {
        strip = findStrip(pid());
        const RECT r = rectOf(strip);
        return strip && r.right - r.left == width && r.bottom - r.top == stripHeight;
    };
    auto widthOf = [](const std::vector<std::wstring>& titles) {
        int sum = 0;
        for (const auto& title : titles)
            sum += cellWidth(expectedName(title));
        return sum + 2;
    };
    ASSERT_TRUE(waitUntil([&] { return stripIs(widthOf(firstTitles)); }, 5000));

    for (size_t round = 0; round < rounds.size(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (size_t i = 0; i < clients.size(); ++i)
            ASSERT_TRUE(setTitle(clients[i].hwnd, rounds[round][i]));
        const int expected = widthOf(rounds[round]);
        EXPECT_TRUE(waitUntil([&] { return stripIs(expected); }, 5000))
            << "strip " << (strip ? rectOf(strip).right - rectOf(strip).left : -1) << " x "
            << (strip ? rectOf(strip).bottom - rectOf(strip).top : -1) << ", expected " << expected
            << " x " << stripHeight;
        EXPECT_TRUE(answers(skarvel.tray));
        EXPECT_TRUE(strip && answers(strip));
    }

    // the last round's names stay; a plain client joins them
    auto late = testkit::startClients({L"--title \"QOR - Alice\" --size 200x150 --pos 400,300"});
    ASSERT_TRUE(late[0].hwnd);
    const int expected = widthOf(rounds.back()) + cellWidth(L"Alice");
    EXPECT_TRUE(waitUntil([&] { return stripIs(expected); }, 5000))
        << "no cell for a new client after odd titles";
    EXPECT_TRUE(IsWindowVisible(strip));
}

// ---------------------------------------------------------------------------------------
// Random messages to every window

bool isMenu(HWND window, HWND tray) {
    const RECT r = rectOf(window);
    return window != tray && (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) &&
           r.bottom - r.top != stripHeight && !isDialog(window);
}

// Posts `count` messages with random parameters, spread over every window the program has,
// and returns how often it failed to answer between batches. Command 8, "Exit Skarvel",
// is never posted, and a menu is never pressed from its sixth row down, where every menu
// of the program keeps that command: the program is meant to end only at the test's end.
int postRandomMessages(HWND tray, DWORD pid, std::uint64_t seed, int count) {
    std::mt19937_64 random(seed);
    auto below = [&](std::uint64_t n) { return n ? random() % n : 0; };
    const UINT mouse[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP,
                          WM_LBUTTONDBLCLK};
    const UINT iconEvents[] = {WM_MOUSEMOVE,   WM_LBUTTONDOWN, WM_LBUTTONUP,
                               WM_RBUTTONDOWN, WM_RBUTTONUP,   WM_LBUTTONDBLCLK};
    constexpr int exitRowsTop = 2 + 5 * 15, menuBottom = 2 + 8 * 15 + 2;
    std::vector<HWND> windows;
    int stalls = 0;
    for (int i = 0; i < count; ++i) {
        if (i % 40 == 0) {
            if (!answers(tray, 5000)) ++stalls;
            windows = testkit::findWindows(windowClassName, pid);
            if (windows.empty()) return stalls + 1;
        }
        const HWND target = windows[below(windows.size())];
        const RECT r = rectOf(target);
        const int width = (std::max)(int(r.right - r.left), 140);
        const int height = (std::max)(int(r.bottom - r.top), 140);
        UINT msg = 0;
        WPARAM wParam = 0;
        LPARAM lParam = LPARAM(random());
        switch (below(8)) {
        case 0:
        case 1:
            msg = UM_COMMAND;
            wParam = below(4) ? WPARAM(below(10)) : WPARAM(random());
            if (wParam == cmdExit) wParam = 0;
            break;
        case 2:
            msg = UM_SETTINGSCHANGED;
            wParam = WPARAM(random());
            break;
        case 3:
            msg = UM_TRAYNOTIFY;
            wParam = below(2) ? 0 : WPARAM(random());
            if (below(4)) lParam = LPARAM(iconEvents[below(std::size(iconEvents))]);
            break;
        default: {
            msg = mouse[below(std::size(mouse))];
            wParam = WPARAM(below(0x80));
            if (!below(4)) break; // anywhere, far outside too
            int x = int(below(std::uint64_t(width) + 20)) - 10;
            int y = int(below(std::uint64_t(height) + 20)) - 10;
            if (msg != WM_MOUSEMOVE && isMenu(target, tray) && y >= exitRowsTop && y < menuBottom)
                y -= exitRowsTop;
            lParam = MAKELPARAM(x, y);
            break;
        }
        }
        PostMessageW(target, msg, wParam, lParam);
    }
    if (!answers(tray, 5000)) ++stalls;
    return stalls;
}

// Waits until the count of something stops changing for a while; returns the last count.
long settled(const std::function<long()>& count) {
    long last = count();
    for (int quiet = 0, tries = 0; quiet < 5 && tries < 100; ++tries) {
        Sleep(100);
        const long now = count();
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
    return last;
}

TEST_F(Hostile, RandomMessagesToEveryWindowLeaveItRunningAndLeakNothing) {
    // with no client path "Open client" does nothing, so no commands start clients
    ASSERT_TRUE(noInstallEntry());
    LinkHandler link; // the version window's link may well be clicked
    auto clients = testkit::startClients({L"--title \"QOR - Alice\" --size 300x200 --pos 200,150",
                                          L"--title \"QOR - Bob\" --size 240x180 --pos 500,300"});
    for (const auto& client : clients)
        ASSERT_TRUE(client.hwnd) << "a stand-in did not start";
    start();
    const DWORD id = pid();
    ASSERT_TRUE(waitUntil([&] { return findStrip(id) != nullptr; }, 5000));

    // warm-up: every window opened, rendered and closed once, Wine's caches filled, and every
    // thread handle the program keeps between workers (a pass of each kind from the tray
    // and from the strip, an activation per client) made once
    EXPECT_EQ(postRandomMessages(skarvel.tray, id, 1, 1500), 0);
    EXPECT_TRUE(closeDialogs(id));
    const HWND strip = findStrip(id);
    for (HWND owner : {skarvel.tray, strip})
        for (WPARAM pass : {WPARAM(cmdSetClients), WPARAM(cmdRestore)})
            PostMessageW(owner, UM_COMMAND, pass, 0);
    const RECT stripRect = rectOf(strip);
    for (int x = 4; x < stripRect.right - stripRect.left; x += 8) { // across every cell
        const LPARAM at = MAKELPARAM(x, 8);
        PostMessageW(strip, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(strip, WM_LBUTTONUP, 0, at);
    }
    ASSERT_TRUE(answers(skarvel.tray, 5000));
    const long threads = settled([&] { return testkit::countThreads(id); });
    const long gdi = settled([&] { return testkit::countGdiObjects(id); });
    const long handles = testkit::countKernelHandles(id);
    ASSERT_GT(gdi, 0);
    ASSERT_GT(handles, 0);

    EXPECT_EQ(postRandomMessages(skarvel.tray, id, 2, 3000), 0) << "the program stopped answering";
    ASSERT_TRUE(skarvel.process.running());
    EXPECT_TRUE(closeDialogs(id));
    EXPECT_TRUE(waitUntil([&] { return testkit::countThreads(id) <= threads; }, 10000))
        << "workers still running: " << testkit::countThreads(id) << ", " << threads << " before";
    const long gdiAfter = settled([&] { return testkit::countGdiObjects(id); });
    const long handlesAfter = settled([&] { return testkit::countKernelHandles(id); });
    std::printf("GDI objects %ld -> %ld, kernel handles %ld -> %ld\n", gdi, gdiAfter, handles,
                handlesAfter);
    // Wine may add one cached DC (a DC, its region, its bitmap) at no fixed moment; a leak
    // per message would show in the hundreds
    EXPECT_LE(gdiAfter, gdi + 3);
    // the warm-up made every kept pass handle once; an activation's handle is kept while its
    // client runs, and the random commands may have left the strip unlocked, where the
    // warm-up's clicks drag instead of activating; and Wine itself may keep a handle or two
    // from some first call (seen once in six runs, not a thread's, and once with two)
    EXPECT_LE(handlesAfter, handles + long(clients.size()) + 2);

    EXPECT_TRUE(exitSkarvel(skarvel)) << "Exit Skarvel did not end it with code 0";
    skarvel.tray = nullptr;
    endChildrenOf(id);
    for (HWND opened : testkit::findWindows(L"HostileLink", 0)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(opened, &owner);
        testkit::Process::adopt(owner).kill();
    }
}

// ---------------------------------------------------------------------------------------
// A client dying in the middle of a pass

RECT workArea() {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

bool isFitted(HWND window, SIZE client) {
    RECT r{}, c{};
    GetWindowRect(window, &r);
    GetClientRect(window, &c);
    const RECT work = workArea();
    return GetWindowLongW(window, GWL_STYLE) == fittedStyle && r.left == work.left &&
           r.top == work.top && c.right == client.cx && c.bottom == client.cy;
}

TEST_F(Hostile, AClientCrashingDuringSetClientsLeavesTheOthersFitted) {
    start();
    auto clients =
        testkit::startClients({L"--title \"QOR - Crash1\" --size 300x200 --pos 50,50",
                               L"--title \"QOR - Alice\" --size 400x300 --pos 100,90",
                               L"--title \"QOR - Hung\" --size 360x270 --pos 150,130",
                               L"--title \"QOR - Bob\" --size 320x240 --pos 200,170",
                               L"--title \"QOR - Crash2\" --size 280x210 --pos 250,210"});
    for (const auto& client : clients)
        ASSERT_TRUE(client.hwnd) << "a stand-in did not start";
    auto& crash1 = clients[0];
    auto& hung = clients[2];
    auto& crash2 = clients[4];

    // the hung client holds the pass while the others die around it
    ASSERT_TRUE(testkit::hang(hung.hwnd, 3000));
    ASSERT_TRUE(waitUntil([&] { return !answers(hung.hwnd, 50); }, 3000));
    PostMessageW(crash1.hwnd, QOR_CRASH, 0, 0);
    postCommand(skarvel.tray, cmdSetClients);
    PostMessageW(crash2.hwnd, QOR_CRASH, 0, 0);
    EXPECT_TRUE(answers(skarvel.tray, 1000)) << "the program froze behind its pass";

    for (auto* dead : {&crash1, &crash2}) {
        DWORD code = 0;
        EXPECT_TRUE(dead->process.waitExit(5000, &code));
        EXPECT_EQ(code, 3u) << "the stand-in did not crash";
    }
    EXPECT_TRUE(waitUntil([&] { return isFitted(clients[1].hwnd, {400, 300}); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return isFitted(clients[3].hwnd, {320, 240}); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return isFitted(hung.hwnd, {360, 270}); }, 15000));
    EXPECT_TRUE(answers(skarvel.tray));
    const HWND strip = findStrip(pid());
    EXPECT_TRUE(strip && answers(strip));
}

// ---------------------------------------------------------------------------------------
// Second and third starts

TEST_F(Hostile, TwoStartsAtOnceWhileOneRunsBothEndAndTheFirstKeepsItsOneIcon) {
    start();
    // the tray window shows before its own creation has made the strip and both menus
    ASSERT_TRUE(
        waitUntil([&] { return testkit::findWindows(windowClassName, pid()).size() == 4; }, 5000));
    const long windowsBefore = 4;
    ASSERT_TRUE(waitUntil([&] { return iconExists(skarvel.tray); }, 5000));

    testkit::Process second = testkit::Process::start(skarvelExe());
    testkit::Process third = testkit::Process::start(skarvelExe());
    for (testkit::Process* late : {&second, &third}) {
        DWORD code = STILL_ACTIVE;
        ASSERT_TRUE(late->waitExit(10000, &code)) << "a later start keeps running";
        EXPECT_EQ(code, 0u);
        EXPECT_TRUE(testkit::findWindows(windowClassName, late->id()).empty());
    }
    EXPECT_TRUE(skarvel.process.running());
    EXPECT_TRUE(answers(skarvel.tray));
    EXPECT_EQ(findTrayWindow(pid()), skarvel.tray);
    EXPECT_EQ(long(testkit::findWindows(windowClassName, pid()).size()), windowsBefore);
    EXPECT_TRUE(iconExists(skarvel.tray));
}

} // namespace
