// Soak: runs skarvel.exe for N minutes next to churning stand-in clients (starting,
// renaming, exiting), with clicks on the strip, menus opened and dialogs opened and closed.
// Once a minute it prints the program's live GDI objects, kernel handles, private memory and
// CPU time, measured in the same quiet state each time (no client, no menu, no dialog).
//   skarvel_soak.exe [--minutes N] [--warmup SECONDS]
// The warm-up is 30 s, or a tenth of a longer run. Exits 1 when a count in the second half of
// the run rose above everything before it, or the program died; 0 otherwise.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/messages.h"
#include "dialogs/config_win.h"
#include "dialogs/version_win.h"
#include "tests/support/skarvel_process.h"
#include "tests/support/switcher_view.h"
#include "tests/support/testkit.h"
#include "tools/qor/qor_protocol.h"
#include "ui/menu_win.h"
#include "ui/window.h"

namespace {

// The heaps keep freed pages for reuse and the commit charge of the same quiet state was
// seen to differ by up to 1 MiB from sample to sample; a leak climbs past this and stays.
constexpr SIZE_T memorySlack = 4 * 1024 * 1024;
constexpr size_t maxClients = 6;

// Wine keeps a cache of window DCs and adds an entry (a DC, its region, its bitmap and the
// object of type 9 that Wine keeps with DCs) when more are in use at once than ever before,
// which the dialogs' edit field can bring about at any moment; type 9 also moves by one
// from sample to sample. One such step is not a leak; a leak per step would be hundreds.
long cachedDcSlack(int gdiType) {
    constexpr int dcType = 1, regionType = 4, bitmapType = 5, dcCompanionType = 9;
    return gdiType == dcType || gdiType == regionType || gdiType == bitmapType ||
                   gdiType == dcCompanionType
               ? 1
               : 0;
}

// Handles of ended threads are kept until the next one replaces them: the last pass's, and those
// of the activations still under way at the last click, which end within half a second but keep
// their handles until the next click (one a client at most). Which of them a quiet moment holds
// varies, by up to this many; a leak of one a step would be hundreds a minute.
constexpr long heldThreadSlack = 1 + long(maxClients);

struct Sample {
    std::map<int, long> gdiTypes;
    long gdi = -1;
    long handles = -1;
    SIZE_T privateBytes = 0;
    ULONGLONG cpuMs = 0;
};

// The least of a few readings 100 ms apart: a render that happens to be under way holds a
// memory DC and its bitmap for a moment, which is no lasting object.
Sample measure(const testkit::Process& process) {
    Sample s;
    for (int reading = 0; reading < 5; ++reading) {
        if (reading) Sleep(100);
        const std::map<int, long> types = testkit::countGdiObjectsByType(process.id());
        for (const auto& [type, count] : types)
            s.gdiTypes[type] = reading ? std::min(s.gdiTypes[type], count) : count;
        for (auto& [type, count] : s.gdiTypes)
            if (!types.count(type)) count = 0;
        const long handles = testkit::countKernelHandles(process.id());
        s.handles = reading ? std::min(s.handles, handles) : handles;
    }
    s.gdi = 0;
    for (const auto& entry : s.gdiTypes)
        s.gdi += entry.second;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process.handle(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory))
        s.privateBytes = memory.PagefileUsage; // the commit charge; Wine leaves PrivateUsage 0
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process.handle(), &created, &exited, &kernel, &user)) {
        const ULONGLONG k = (ULONGLONG(kernel.dwHighDateTime) << 32) | kernel.dwLowDateTime;
        const ULONGLONG u = (ULONGLONG(user.dwHighDateTime) << 32) | user.dwLowDateTime;
        s.cpuMs = (k + u) / 10000;
    }
    return s;
}

HWND waitShown(DWORD pid, int height, int width = -1) {
    return waitShownWindow(pid, height, width, 2000);
}

void clickIn(HWND window, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    deliver(window, WM_MOUSEMOVE, 0, where);
    deliver(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    deliver(window, WM_LBUTTONUP, 0, where);
}

class Churn {
  public:
    Churn(Skarvel& skarvel, std::mt19937& random) : skarvel(skarvel), random(random) {}
    ~Churn() { quiet(); }

    void step() {
        switch (pick(8)) {
        case 0:
        case 1:
            startClient();
            break;
        case 2:
            renameClient();
            break;
        case 3:
            exitClient();
            break;
        case 4:
            clickCells();
            break;
        case 5:
            trayMenu();
            break;
        case 6:
            switcherMenu();
            break;
        default:
            dialogs();
            break;
        }
    }

    // No client, menu or dialog left, and the strip has caught up.
    void quiet() {
        for (testkit::StandIn& client : clients)
            PostMessageW(client.hwnd, QOR_EXIT, 0, 0);
        for (testkit::StandIn& client : clients)
            if (!client.process.waitExit(5000)) client.process.kill();
        clients.clear();
        testkit::moveCursor(1100, 700);
        Sleep(600); // several refreshes: records swept, hover gone, menus closed
    }

  private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    DWORD pid() const { return skarvel.process.id(); }
    std::wstring name() {
        static const wchar_t* names[] = {L"Alice", L"Bob",  L"Cara", L"Dave",
                                         L"Eve",   L"Finn", L"Gus",  L"Hana"};
        return names[pick(8)] + std::to_wstring(pick(100));
    }

    void startClient() {
        if (clients.size() >= maxClients) return exitClient();
        std::wstring args = pick(4) == 0 ? L"" : L"--title \"QOR - " + name() + L"\"";
        args += L" --size 320x200 --pos " + std::to_wstring(40 + pick(600)) + L"," +
                std::to_wstring(60 + pick(400));
        auto started = testkit::startClients({args});
        if (started[0].hwnd) clients.push_back(std::move(started[0]));
    }
    void renameClient() {
        if (clients.empty()) return;
        const std::wstring title = pick(5) == 0 ? L"QOR" : L"QOR - " + name();
        deliver(clients[size_t(pick(int(clients.size())))].hwnd, WM_SETTEXT, 0,
                reinterpret_cast<LPARAM>(title.c_str()));
    }
    void exitClient() {
        if (clients.empty()) return;
        const size_t i = size_t(pick(int(clients.size())));
        PostMessageW(clients[i].hwnd, QOR_EXIT, 0, 0);
        if (!clients[i].process.waitExit(5000)) clients[i].process.kill();
        clients.erase(clients.begin() + long(i));
    }
    void clickCells() {
        const HWND strip = findSwitcher(pid());
        const int width = windowWidth(strip);
        if (!strip || width <= 2) return;
        for (int i = 0; i < 10; ++i)
            clickAt(strip, {pick(width), pick(17)});
    }
    void chooseOrLeave(HWND menu, int rows, const std::vector<int>& harmless) {
        if (!menu) return;
        if (pick(2) == 0) {
            testkit::moveCursor(20, 780); // the pointer leaves; the menu closes itself
        } else {
            const int row = harmless[size_t(pick(int(harmless.size())))];
            if (row < rows) clickIn(menu, {20, 2 + menuItemHeight * row + 7});
        }
        testkit::waitUntil([&] { return !IsWindowVisible(menu); }, 2000, 5);
    }
    void trayMenu() {
        testkit::moveCursor(900, 500);
        PostMessageW(skarvel.tray, UM_TRAYNOTIFY, 0, WM_LBUTTONUP);
        // "Set clients" and "Restore" only: the rest open windows or end the program
        chooseOrLeave(waitShown(pid(), 7 * menuItemHeight + 4), 7, {1, 2});
    }
    void switcherMenu() {
        const HWND strip = findSwitcher(pid());
        if (!strip || windowWidth(strip) <= 2) return;
        testkit::moveCursor(900, 500);
        deliver(strip, WM_RBUTTONUP, 0, MAKELPARAM(3, 8));
        chooseOrLeave(waitShown(pid(), 7 * menuItemHeight + 4), 7, {0, 1, 3});
    }
    void dialogs() {
        postCommand(skarvel.tray, cmdConfigure);
        if (const HWND config = waitShown(pid(), configHeight, configWidth)) {
            clickIn(config, {14, 27 + 15 * pick(5)}); // a box, not saved
            clickIn(config, {140, 139});              // hover OK
            clickIn(config, {187, 139});              // CLOSE
        }
        postCommand(skarvel.tray, cmdVersion);
        if (const HWND version = waitShown(pid(), versionHeight, versionWidth)) {
            clickIn(version, {100, 8});  // a drag of no distance
            clickIn(version, {308, 45}); // CLOSE
        }
    }

    Skarvel& skarvel;
    std::mt19937& random;
    std::vector<testkit::StandIn> clients;
};

void print(const char* label, const Sample& s) {
    // DCs, regions and bitmaps apart: a step of one of each is Wine's window-DC cache
    auto of = [&](int type) {
        const auto found = s.gdiTypes.find(type);
        return found == s.gdiTypes.end() ? 0L : found->second;
    };
    std::printf("%-10s gdi %4ld (dc %ld rgn %ld bmp %ld)  handles %4ld  private %7zu KiB  cpu "
                "%7llu ms\n",
                label, s.gdi, of(1), of(4), of(5), s.handles, size_t(s.privateBytes / 1024),
                s.cpuMs);
    std::fflush(stdout);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int minutes = 2, warmupSeconds = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wstring(argv[i]) == L"--minutes") minutes = _wtoi(argv[i + 1]);
        if (std::wstring(argv[i]) == L"--warmup") warmupSeconds = _wtoi(argv[i + 1]);
    }
    // the longer the run, the longer Wine's caches are given to fill: 30 s, or a tenth of it
    if (warmupSeconds < 0) warmupSeconds = std::max(30, minutes * 6);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Skarvel");
    Skarvel skarvel = startSkarvel();
    if (!skarvel.tray) {
        std::fprintf(stderr, "soak: skarvel did not start\n");
        return 1;
    }
    Sleep(1000); // settled: the first scans and renders are done
    print("start", measure(skarvel.process));
    std::mt19937 random(20261207);
    Churn churn(skarvel, random);
    std::printf("soak: %d minute(s) after a %d s warm-up\n", minutes, warmupSeconds);

    auto runFor = [&](DWORD ms) {
        const ULONGLONG end = GetTickCount64() + ms;
        int steps = 0;
        while (GetTickCount64() < end && skarvel.process.running()) {
            churn.step();
            ++steps;
        }
        churn.quiet();
        return steps;
    };
    // The baseline is the highest quiet sample of the warm-up and of the first half of the
    // run; the second half must stay at or below it. Wine's caches (realised fonts, window DCs)
    // still grow now and then early in a long run, ever more rarely; a leak of one object per
    // hundred churn steps adds five a minute and shows in every second half, even a minute's.
    Sample baseline;
    auto raiseBaseline = [&](const Sample& s) {
        baseline.gdi = std::max(baseline.gdi, s.gdi);
        baseline.handles = std::max(baseline.handles, s.handles);
        baseline.privateBytes = std::max(baseline.privateBytes, s.privateBytes);
        for (const auto& [type, count] : s.gdiTypes)
            baseline.gdiTypes[type] = std::max(baseline.gdiTypes[type], count);
    };
    Sample previous;
    for (int part = 0; part < 3; ++part) {
        runFor(DWORD(warmupSeconds) * 1000 / 3);
        previous = measure(skarvel.process);
        print("warm-up", previous);
        raiseBaseline(previous);
    }

    bool grew = false;
    const int judgedFrom = minutes / 2 + 1;
    for (int minute = 1; minute <= minutes && skarvel.process.running(); ++minute) {
        const int steps = runFor(60000);
        const Sample now = measure(skarvel.process);
        char label[32];
        std::snprintf(label, sizeof label, "minute %d", minute);
        print(label, now);
        std::printf("           %d churn steps, cpu %llu ms this minute\n", steps,
                    now.cpuMs - previous.cpuMs);
        previous = now;
        if (minute < judgedFrom) {
            raiseBaseline(now);
            continue;
        }
        if (now.handles > baseline.handles + heldThreadSlack ||
            now.privateBytes > baseline.privateBytes + memorySlack)
            grew = true;
        for (const auto& [type, count] : now.gdiTypes) {
            const auto before = baseline.gdiTypes.find(type);
            const long was = before == baseline.gdiTypes.end() ? 0 : before->second;
            if (count <= was) continue;
            std::printf("           GDI objects of type %d: %ld, at most %ld before minute %d\n",
                        type, count, was, judgedFrom);
            if (count > was + cachedDcSlack(type)) grew = true;
        }
    }
    if (!skarvel.process.running()) {
        std::fprintf(stderr, "soak: skarvel died\n");
        return 1;
    }
    const bool exited = exitSkarvel(skarvel);
    if (grew) std::fprintf(stderr, "soak: growth after the warm-up\n");
    if (!exited) std::fprintf(stderr, "soak: skarvel did not end cleanly\n");
    std::printf("soak: %s\n", grew || !exited ? "FAILED" : "passed");
    return grew || !exited ? 1 : 0;
}
