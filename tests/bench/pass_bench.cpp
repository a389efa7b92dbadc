// Prints how long one "Set clients" / "Restore" pass takes over 20 stand-in clients among
// 200 other top-level windows. A figure to compare, not a test with a limit.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "clients/client_pass.h"
#include "tests/support/testkit.h"

namespace {

double passMilliseconds(int mode, const Places& places = {}) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    // the pass's own procedure, run here so only the pass is timed
    clientPass(mode, places);
    QueryPerformanceCounter(&end);
    return double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int clientCount = 20, otherCount = 200, runs = 7;

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BenchOtherWindow";
    RegisterClassW(&wc);
    std::vector<HWND> others;
    for (int i = 0; i < otherCount; ++i)
        others.push_back(CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"other",
                                         WS_POPUP | (i % 2 ? WS_VISIBLE : 0), 10 + i, 10 + i, 50,
                                         50, nullptr, nullptr, wc.hInstance, nullptr));

    std::vector<std::wstring> args;
    for (int i = 0; i < clientCount; ++i)
        args.push_back(L"--title \"QOR - Bench" + std::to_wstring(i) + L"\" --size 320x240 --pos " +
                       std::to_wstring(40 + 20 * i) + L"," + std::to_wstring(30 + 15 * i));
    std::vector<testkit::StandIn> clients = testkit::startClients(args);
    int ready = 0;
    for (const auto& client : clients)
        ready += client.hwnd != nullptr;

    // every client with a place of its own on the first monitor
    Places places;
    const std::vector<MonitorArea> monitors = connectedMonitors();
    for (int i = 0; i < clientCount && !monitors.empty(); ++i) {
        const RECT& work = monitors[0].work;
        places[L"Bench" + std::to_wstring(i)] = {
            monitors[0].id, {60 + 25 * i, 40 + 12 * i}, {work.right - work.left, work.bottom - work.top}};
    }
    std::vector<double> fit, restore, idle, placedFit, placedRestore;
    for (int run = 0; run < runs; ++run) {
        fit.push_back(passMilliseconds(fitPass));
        idle.push_back(passMilliseconds(fitPass)); // nothing left to change but the show state
        restore.push_back(passMilliseconds(restorePass));
        placedFit.push_back(passMilliseconds(fitPass, places));
        placedRestore.push_back(passMilliseconds(restorePass, places));
    }
    std::printf("pass over %d clients among %d other top-level windows, median of %d runs:\n",
                ready, otherCount, runs);
    std::printf("  Set clients (all change): %8.2f ms\n", median(fit));
    std::printf("  Set clients (none change): %7.2f ms\n", median(idle));
    std::printf("  Restore (all change):     %8.2f ms\n", median(restore));
    std::printf("  Set clients, each to its place (all change): %8.2f ms\n", median(placedFit));
    std::printf("  Restore, each to its place (all change):     %8.2f ms\n", median(placedRestore));

    for (int i = 1; i < argc; ++i) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExW(argv[i], GetFileExInfoStandard, &data))
            std::printf("size of %ls: %lu bytes\n", argv[i], data.nFileSizeLow);
    }
    for (HWND other : others)
        DestroyWindow(other);
    return ready == clientCount ? 0 : 1;
}
