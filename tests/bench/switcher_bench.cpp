// Prints figures for the client switcher: one strip render of 20 cells, how soon a new
// client gets its cell in the running program and a closed one loses it, how soon the cell of
// the client in front is lit, how soon a click brings a client to the front, how soon a
// renamed client's cell shows the new name, and with --idle the program's
// CPU use at rest next to a bare window enumerator, the strip shown and turned off.
//   switcher_bench.exe [--idle SECONDS]
// Figures to compare between builds, not limits.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "clients/client_list.h"
#include "clients/selector_win.h"
#include "clients/strip_draw.h"
#include "core/globals.h"
#include "tests/support/skarvel_process.h"
#include "tests/support/switcher_view.h"
#include "tests/support/testkit.h"
#include "tools/qor/qor_protocol.h"
#include "ui/draw.h"

namespace {

using testkit::waitUntil;

double nowMs() {
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / perMs;
}

double median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::wstring standIn(const std::wstring& title, int x, int y) {
    return L"--title \"" + title + L"\" --size 240x160 --pos " + std::to_wstring(x) + L"," +
           std::to_wstring(y);
}

double drawStripMs() {
    const Font measureFont = createUiFont(measureFontHeight, FW_BOLD);
    const Font textFont = createUiFont(textFontHeight, FW_BOLD);
    WindowDC screen(nullptr);
    ClientRecords records;
    {
        Selection keep(screen, measureFont.get());
        for (int i = 0; i < maxClients; ++i) {
            // made-up handles: drawing only compares them
            const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + 16 * i));
            ClientRecord& record = records[window];
            record.name.assign((L"Character " + std::to_wstring(i + 1)).c_str());
            record.window = window;
            SIZE extent{};
            GetTextExtentPoint32W(screen, record.name.c_str(), record.name.length(), &extent);
            record.width = extent.cx + 24;
            record.number = i + 1;
        }
    }
    const ClientOrder order = displayOrder(records, {});
    const int width = stripWidthOf(records);
    const HWND lit = records.begin()->first;

    MemoryDC mem(screen);
    Bitmap buffer(CreateCompatibleBitmap(screen, width, stripHeight));
    Selection keep(mem, buffer.get());
    std::vector<double> runs;
    for (int run = 0; run < 41; ++run) {
        const double start = nowMs();
        drawStrip(mem, width, order, records, lit, nullptr, textFont.get());
        GdiFlush();
        runs.push_back(nowMs() - start);
    }
    return median(runs);
}

// From a stand-in's window showing to its cell widening the strip, and from its window gone to
// its cell gone, over `runs` clients.
std::vector<double> cellLatencies(HWND strip, int runs, int* missed, std::vector<double>& gone) {
    std::vector<double> latencies;
    const std::wstring exe = testkit::binDir() + L"qor.exe";
    for (int i = 0; i < runs; ++i) {
        const int before = windowWidth(strip);
        testkit::Process client = testkit::Process::start(exe, standIn(L"QOR - Late", 600, 300));
        HWND window = nullptr;
        double shown = 0, cell = 0;
        const double deadline = nowMs() + 10000;
        while (nowMs() < deadline && !cell) {
            if (!shown) {
                window = testkit::findWindow(qorClassName, client.id());
                if (window && IsWindowVisible(window)) shown = nowMs();
            }
            if (windowWidth(strip) != before) cell = nowMs();
            if (shown && cell) break;
            Sleep(1);
        }
        if (shown && cell)
            latencies.push_back(cell - shown);
        else
            ++*missed;
        if (window) PostMessageW(window, QOR_EXIT, 0, 0);
        double closed = 0, dropped = 0;
        const double until = nowMs() + 10000;
        while (nowMs() < until && !dropped) {
            if (!closed && !IsWindow(window)) closed = nowMs();
            if (windowWidth(strip) == before) dropped = nowMs();
            Sleep(1);
        }
        if (closed && dropped)
            gone.push_back(dropped - closed);
        else
            ++*missed;
        client.waitExit(5000);
    }
    return latencies;
}

// From a client brought to the front to its cell lit on screen and the other's dark.
std::vector<double> lightLatencies(HWND strip, const HWND (&clients)[2],
                                   const std::vector<RECT>& cells, int runs, int* missed) {
    const RECT at = windowRect(strip);
    auto fillOf = [&](int cell) {
        WindowDC screen(nullptr);
        // just inside the frame, left of any text
        return GetPixel(screen, at.left + cells[size_t(cell)].left + 2,
                        at.top + cells[size_t(cell)].top + 2);
    };
    std::vector<double> latencies;
    for (int i = 0; i < runs; ++i) {
        const int target = i % 2;
        const double start = nowMs();
        SetForegroundWindow(clients[target]);
        if (waitUntil(
                [&] { return fillOf(target) == accentColor && fillOf(1 - target) == backColor; },
                3000, 1))
            latencies.push_back(nowMs() - start);
        else
            ++*missed;
        Sleep(50); // a moment apart from the tick
    }
    return latencies;
}

// From a click on a cell to its client in front; the click alternates between two clients.
std::vector<double> clickLatencies(HWND strip, const HWND (&clients)[2],
                                   const std::vector<RECT>& cells, int runs, int* missed) {
    std::vector<double> latencies;
    for (int i = 0; i < runs; ++i) {
        const int target = i % 2;
        SetForegroundWindow(clients[1 - target]);
        waitUntil([&] { return GetForegroundWindow() == clients[1 - target]; }, 2000);
        Sleep(200); // lets an ended activation be replaced on the next click
        const double start = nowMs();
        clickAt(strip, middleOf(cells[size_t(target)]));
        if (waitUntil([&] { return GetForegroundWindow() == clients[target]; }, 3000, 1))
            latencies.push_back(nowMs() - start);
        else
            ++*missed;
    }
    return latencies;
}

// From a client's rename to its cell's new width, alternating between two names.
std::vector<double> renameLatencies(HWND strip, HWND client, int runs, int* missed) {
    std::vector<double> latencies;
    for (int i = 0; i < runs; ++i) {
        const int before = windowWidth(strip);
        const wchar_t* title = i % 2 ? L"QOR - Bob" : L"QOR - Bartholomew";
        const double start = nowMs();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(client, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title),
                            SMTO_ABORTIFHUNG, 2000, &result);
        if (waitUntil([&] { return windowWidth(strip) != before; }, 3000, 1))
            latencies.push_back(nowMs() - start);
        else
            ++*missed;
        Sleep(50); // a moment apart from the tick
    }
    return latencies;
}

// What the program does at rest for `count` stand-ins in other processes, nothing changing:
// one tick of an in-process strip on this thread (its own part: it wakes the scan and looks at
// the foreground and at what is above it), and one scan as the worker runs it.
void restCosts(int count) {
    std::vector<std::wstring> args;
    for (int i = 0; i < count; ++i)
        args.push_back(standIn(L"QOR - Rest " + std::to_wstring(i + 1), 40 + 45 * i, 200));
    std::vector<testkit::StandIn> clients = testkit::startClients(args);
    CSelectorWin strip;
    if (!strip.Create(nullptr)) return;
    KillTimer(strip.hwnd, 0); // this loop is its timer
    auto tick = [&] { SendMessageW(strip.hwnd, WM_TIMER, 0, 0); };
    testkit::pumpUntil(
        [&] {
            tick();
            return strip.Records().size() == size_t(count) && !strip.Scanning();
        },
        5000);
    std::vector<double> ticks;
    const unsigned wakes = strip.WorkerWakes();
    for (int i = 0; i < 201; ++i) {
        testkit::pumpUntil([&] { return !strip.Scanning(); }, 1000);
        const double start = nowMs();
        tick();
        ticks.push_back(nowMs() - start);
    }
    const unsigned wokenAtRest = strip.WorkerWakes() - wakes;
    PublishedScan published;
    KnownTitles known;
    ScanClients(published, known);
    std::vector<double> scans;
    for (int i = 0; i < 41; ++i) {
        const double start = nowMs();
        ScanClients(published, known);
        scans.push_back(nowMs() - start);
    }
    std::printf("at rest, %2d clients: a tick %6.1f us, a scan %7.1f us (medians), %u worker "
                "wakes in 201 ticks\n",
                count, 1000 * median(ticks), 1000 * median(scans), wokenAtRest);
    DestroyWindow(strip.hwnd);
}

// Under Wine the Windows figures for another process's CPU time stay 0, so they are read
// from /proc through drive Z:; Windows has no such folder and answers GetProcessTimes.
double cpuMs(const testkit::Process& process, const std::wstring& statPath) {
    if (!statPath.empty()) {
        std::string stat;
        unsigned long long user = 0, system = 0;
        const size_t close =
            testkit::readFile(statPath, stat) ? stat.rfind(')') : std::string::npos;
        if (close == std::string::npos ||
            std::sscanf(stat.c_str() + close + 2,
                        "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                        &system) != 2)
            return -1;
        return double(user + system) * 10.0; // USER_HZ is 100
    }
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process.handle(), &created, &exited, &kernel, &user)) return -1;
    auto ms = [](FILETIME t) {
        return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// CPU ms per minute of a process over `seconds`, after a second to settle.
double idleCpuPerMinute(const testkit::Process& process, const std::wstring& exe, int seconds) {
    Sleep(1000);
    const std::wstring dir = testkit::linuxProcessDir(exe);
    const std::wstring statPath = dir.empty() ? dir : dir + L"\\stat";
    const double before = cpuMs(process, statPath);
    const double start = nowMs();
    Sleep(DWORD(seconds) * 1000);
    const double after = cpuMs(process, statPath);
    if (before < 0 || after < 0) return -1;
    return (after - before) * 60000.0 / (nowMs() - start);
}

void idleBenchmark(int seconds) {
    const std::wstring bare = testkit::binDir() + L"bare.exe";
    // /proc counts in 10 ms ticks: one tick in the window is 600 / seconds ms per minute
    std::printf("CPU at rest, %d s per case, in ms of CPU per minute (+-%d):\n", seconds,
                600 / seconds);
    std::printf("  clients              skarvel      bare     ratio\n");
    // "hidden" turns the strip off ("Client Switcher") in the configuration window; "keys" has
    // "Switch keys" on and a client in front, so the keys are held
    const struct {
        int count;
        bool hidden, keys;
    } cases[] = {{0, false, false}, {5, false, false}, {20, false, false},
                 {20, true, false}, {5, false, true},  {20, true, true}};
    for (const auto& c : cases) {
        for (const auto& [name, value] :
             {std::pair{L"Client Switcher", DWORD(1)}, std::pair{L"Switch keys", DWORD(c.keys)}})
            RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Skarvel", name, REG_DWORD, &value,
                            sizeof(value));
        std::vector<std::wstring> args;
        for (int i = 0; i < c.count; ++i)
            args.push_back(
                standIn(L"QOR - Idle " + std::to_wstring(i + 1), 40 + 45 * i, 200 + 12 * i));
        std::vector<testkit::StandIn> clients = testkit::startClients(args);

        Skarvel skarvel = startSkarvel();
        bool ready = skarvel.tray && (!c.hidden || toggleSwitcherSetting(skarvel));
        if (ready && c.keys && !clients.empty()) {
            SetForegroundWindow(clients[0].hwnd);
            ready = waitUntil([&] { return GetForegroundWindow() == clients[0].hwnd; }, 3000);
        }
        const double program =
            ready ? idleCpuPerMinute(skarvel.process, skarvelExe(), seconds) : -1;
        if (skarvel.tray) exitSkarvel(skarvel);
        testkit::Process baseline = testkit::Process::start(bare);
        const double enumerator = baseline.id() ? idleCpuPerMinute(baseline, bare, seconds) : -1;
        baseline.kill();

        const std::string label = std::string(c.hidden ? " hidden" : "") + (c.keys ? " keys" : "");
        if (enumerator > 0)
            std::printf("  %7d%-12s  %8.0f  %8.0f  %8.2f\n", c.count, label.c_str(), program,
                        enumerator, program / enumerator);
        else
            std::printf("  %7d%-12s  %8.0f  %8.0f         -\n", c.count, label.c_str(), program,
                        enumerator);
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Skarvel", L"Switch keys");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    moduleInstance = GetModuleHandleW(nullptr);
    int idleSeconds = 0;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wcscmp(argv[i], L"--idle") == 0) idleSeconds = _wtoi(argv[i + 1]);

    std::printf("drawStrip, 20 cells, median of 41:       %8.3f ms\n", drawStripMs());

    std::vector<testkit::StandIn> two =
        testkit::startClients({standIn(L"QOR - Alice", 100, 200), standIn(L"QOR - Bob", 400, 200)});
    Skarvel skarvel = startSkarvel();
    HWND strip = nullptr;
    const bool ready =
        skarvel.tray && two[0].hwnd && two[1].hwnd &&
        waitUntil([&] { return (strip = findSwitcher(skarvel.process.id())) != nullptr; }, 5000) &&
        waitUntil(
            [&] {
                return windowWidth(strip) == predictedStripWidth({L"Alice", L"Bob"});
            },
            5000);
    if (!ready) {
        std::printf("the switcher did not show both clients; no latencies\n");
        return 1;
    }
    SetCursorPos(1000, 600); // off the strip: no hover renders
    int missedCells = 0, missedClicks = 0, missedLights = 0;
    std::vector<double> gone;
    const std::vector<double> cells = cellLatencies(strip, 11, &missedCells, gone);
    const HWND clients[2] = {two[0].hwnd, two[1].hwnd};
    const std::vector<double> lights =
        lightLatencies(strip, clients, predictedCells({L"Alice", L"Bob"}), 11, &missedLights);
    const std::vector<double> clicks =
        clickLatencies(strip, clients, predictedCells({L"Alice", L"Bob"}), 11, &missedClicks);
    int missedRenames = 0;
    const std::vector<double> renames = renameLatencies(strip, two[1].hwnd, 11, &missedRenames);
    std::printf("window shown -> its cell, median of %zu: %8.1f ms (%d missed)\n", cells.size(),
                median(cells), missedCells);
    std::printf("window closed -> its cell gone, median of %zu: %8.1f ms\n", gone.size(),
                median(gone));
    std::printf("client in front -> its cell lit, median of %zu: %8.1f ms (%d missed)\n",
                lights.size(), median(lights), missedLights);
    std::printf("click on a cell -> client in front, median of %zu (mouse messages): %6.1f ms "
                "(%d missed)\n",
                clicks.size(), median(clicks), missedClicks);
    std::printf("client renamed -> its cell's new name, median of %zu: %8.1f ms (%d missed)\n",
                renames.size(), median(renames), missedRenames);
    exitSkarvel(skarvel);
    two.clear();

    for (int count : {0, 5, 20})
        restCosts(count);
    if (idleSeconds > 0) idleBenchmark(idleSeconds);
    return missedCells + missedClicks + missedRenames + missedLights == 0 ? 0 : 1;
}
