#include "tests/support/switcher_view.h"

#include "clients/client_list.h"
#include "clients/selector_win.h"
#include "tests/support/testkit.h"
#include "ui/draw.h"
#include "ui/window.h"

HWND findSwitcher(DWORD pid) {
    for (HWND window : testkit::findWindows(windowClassName, pid)) {
        const RECT r = windowRect(window);
        if ((GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) &&
            r.bottom - r.top == Scale::ofScreen()(stripHeight))
            return window;
    }
    return nullptr;
}

RECT windowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

int windowWidth(HWND window) {
    const RECT r = windowRect(window);
    return r.right - r.left;
}

int predictedCellWidth(const std::wstring& name, Scale scale) {
    const Font font = createUiFont(scale(measureFontHeight), FW_BOLD);
    HDC screen = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(screen, font.get());
    SIZE extent{};
    GetTextExtentPoint32W(screen, name.c_str(), int(name.size()), &extent);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return extent.cx + scale(24);
}

std::vector<RECT> predictedCells(const std::vector<std::wstring>& namesInOrder) {
    std::vector<int> widths;
    for (const auto& name : namesInOrder)
        widths.push_back(predictedCellWidth(name));
    return cellRects(widths, Scale::ofScreen());
}

int predictedStripWidth(const std::vector<std::wstring>& names) {
    int sum = 0;
    for (const auto& name : names)
        sum += predictedCellWidth(name);
    return sum ? sum + 2 * Scale::ofScreen().line(1) : 0;
}

bool clickAt(HWND strip, POINT point) {
    const LPARAM at = MAKELPARAM(point.x, point.y);
    return deliver(strip, WM_LBUTTONDOWN, MK_LBUTTON, at) && deliver(strip, WM_LBUTTONUP, 0, at);
}

POINT middleOf(const RECT& cell) {
    return {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
}
