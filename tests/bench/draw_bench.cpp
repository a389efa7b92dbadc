// Prints the cost of one popup-menu Render and of one DrawSmoothText call.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/tray_win.h"
#include "core/globals.h"
#include "ui/draw.h"
#include "ui/menu_win.h"

namespace {

double nowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Median of `runs` batches, per call.
template <class F> double medianPerCall(int runs, int calls, F f) {
    std::vector<double> batches;
    for (int r = 0; r < runs; ++r) {
        const double start = nowMs();
        for (int i = 0; i < calls; ++i)
            f();
        batches.push_back((nowMs() - start) / calls);
    }
    std::sort(batches.begin(), batches.end());
    return batches[batches.size() / 2];
}

} // namespace

int wmain() {
    moduleInstance = GetModuleHandleW(nullptr);
    CMenuWin menu;
    const auto entries = trayMenuEntries(false);
    for (size_t i = 0; i < entries.size(); ++i)
        menu.AppendItem(entries[i].text, entries[i].command, i + 1 == entries.size());
    if (!menu.createWindow(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WS_POPUP, 0, 0,
                           menuItemHeight, menuItemHeight))
        return 1;
    const double render = medianPerCall(9, 100, [&] { menu.Render(); });

    WindowDC screen(nullptr);
    MemoryDC target(screen);
    Bitmap buffer(CreateCompatibleBitmap(screen, 100, 15));
    Selection keep(target, buffer.get());
    SetStretchBltMode(target, HALFTONE);
    Font font = createUiFont(textFontHeight, FW_BOLD);
    const double text = medianPerCall(9, 200, [&] {
        DrawSmoothText(target, L"SET CLIENTS", textColor, backColor, font.get(), {0, 0, 100, 15},
                       DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, true);
    });
    std::printf("menu Render, 6 items:          %7.3f ms\n", render);
    std::printf("DrawSmoothText, 100x15 box:    %7.3f ms\n", text);
    return 0;
}
