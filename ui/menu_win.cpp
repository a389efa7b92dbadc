#include "ui/menu_win.h"

#include <algorithm>

#include "core/messages.h"
#include "ui/draw.h"

namespace {

constexpr UINT_PTR leaveTimer = 0;
constexpr UINT leavePeriod = 90;
constexpr int leaveMargin = 6;
constexpr UINT labelFormat = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;

} // namespace

SIZE menuSize(int widestLabel, int itemCount, Scale scale) {
    return {widestLabel + scale(2), scale(itemCount * menuItemHeight + 4)};
}

RECT menuRowRect(int index, int menuWidth, Scale scale) {
    return {scale(2), scale(2 + menuItemHeight * index), menuWidth - scale(2),
            scale(2 + menuItemHeight * (index + 1))};
}

RECT menuLabelRect(int index, int menuWidth, Scale scale) {
    RECT label = menuRowRect(index, menuWidth, scale);
    label.left = scale(8);
    return label;
}

int menuRowAt(POINT point, SIZE menu, Scale scale) {
    if (point.x < 0 || point.y < 0 || point.x >= menu.cx || point.y >= menu.cy) return -1;
    // the frame above the first row belongs to it, the one below the last to no row
    int row = 0;
    while (point.y >= menuRowRect(row, menu.cx, scale).bottom)
        ++row;
    return row;
}

POINT menuOrigin(POINT at, SIZE menu, const RECT& workArea) {
    if (at.y + menu.cy > workArea.bottom) at.y -= menu.cy;
    if (at.y + menu.cy > workArea.bottom) at.y = workArea.bottom - menu.cy;
    if (at.y < workArea.top) at.y = workArea.top;
    if (at.x + menu.cx > workArea.right) at.x = workArea.right - menu.cx;
    if (at.x < workArea.left) at.x = workArea.left;
    return at;
}

bool menuKeepsOpen(POINT pointer, const RECT& menu, POINT openedAt, Scale scale) {
    // a straight way from the point to any part of the menu stays inside both's bounds
    RECT reach{std::min(menu.left, openedAt.x), std::min(menu.top, openedAt.y),
               std::max(menu.right, openedAt.x + 1), std::max(menu.bottom, openedAt.y + 1)};
    InflateRect(&reach, scale(leaveMargin), scale(leaveMargin));
    return PtInRect(&reach, pointer) != FALSE;
}

CMenuWin::CMenuWin() : scale(Scale::ofScreen()) {
    textFont = createUiFont(scale(textFontHeight), FW_BOLD);
    measureFont = createUiFont(scale(measureFontHeight), FW_BOLD);
}

CMenuWin::~CMenuWin() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

void CMenuWin::AppendItem(const CWString& text, int id, bool relayout) {
    items.push_back({text, id});
    if (relayout) Layout();
}

void CMenuWin::ReplaceItemText(const CWString& oldText, const CWString& newText, bool relayout) {
    for (MenuItem& item : items) {
        if (wcscmp(item.text.c_str(), oldText.c_str()) == 0) {
            item.text = newText;
            break;
        }
    }
    if (relayout) Layout();
}

void CMenuWin::ClearItems() {
    items.clear();
}

int CMenuWin::MeasureLabel(const CWString& label) const {
    // before the window exists this measures against the screen, which gives the same sizes
    WindowDC dc(IsWindow(hwnd) ? hwnd : nullptr);
    Selection keepFont(dc, measureFont.get());
    SIZE extent{};
    GetTextExtentPoint32W(dc, label.c_str(), label.length(), &extent);
    return extent.cx + scale(24);
}

void CMenuWin::Layout() {
    int widest = 0;
    for (const MenuItem& item : items) {
        const int measured = MeasureLabel(item.text);
        if (measured > widest) widest = measured;
    }
    const SIZE size = menuSize(widest, static_cast<int>(items.size()), scale);
    width = size.cx;
    height = size.cy;
}

void CMenuWin::SetScale(Scale newScale) {
    if (newScale == scale) return;
    scale = newScale;
    textFont = createUiFont(scale(textFontHeight), FW_BOLD);
    measureFont = createUiFont(scale(measureFontHeight), FW_BOLD);
    // the rows moved under the pointer
    hoverIndex = -1;
    pressedId = -1;
    Layout();
    if (!IsWindowVisible(hwnd)) return;
    Place(SWP_NOZORDER);
    InvalidateRect(hwnd, nullptr, FALSE);
}

void CMenuWin::ShowAt(int x, int y) {
    openedAt = {x, y};
    // A hidden window keeps the DPI of where it was last shown, so the scale is the point's
    // monitor's. The window goes there first too, so that Windows finds it at that DPI when
    // it shows.
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetScale(Scale::ofMonitor(MonitorFromPoint(openedAt, MONITOR_DEFAULTTONEAREST)));
    SetTimer(hwnd, leaveTimer, leavePeriod, nullptr);
    Place(SWP_SHOWWINDOW);
    SetCapture(hwnd);
    setPointerCursor(hInstance);
}

void CMenuWin::Place(UINT flags) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromPoint(openedAt, MONITOR_DEFAULTTONEAREST), &monitor);
    const POINT at = menuOrigin(openedAt, {width, height}, monitor.rcWork);
    Render();
    SetWindowPos(hwnd, HWND_TOPMOST, at.x, at.y, width, height, flags | SWP_NOACTIVATE);
}

void CMenuWin::Render() {
    if (!IsWindow(hwnd)) return;
    {
        WindowDC screen(hwnd);
        if (!renderDC.get()) {
            renderDC.reset(CreateCompatibleDC(screen));
            SetBkMode(renderDC, TRANSPARENT);
            SetStretchBltMode(renderDC, HALFTONE);
            SetBrushOrgEx(renderDC, 0, 0, nullptr);
        }
        if (!textDC.get()) {
            textDC.reset(CreateCompatibleDC(screen));
            SetBkMode(textDC, TRANSPARENT);
        }
        backBuffer.reset(CreateCompatibleBitmap(screen, width, height));
    }
    if (!renderDC.get() || !backBuffer) return;

    Selection keepBuffer(renderDC, backBuffer.get()), keepFont(renderDC, textFont.get());
    Brush back(CreateSolidBrush(backColor)), accent(CreateSolidBrush(accentColor));
    RECT all{0, 0, width, height};
    FillRect(renderDC, &all, back.get());
    // the frame line lies just outside the rows
    const int inset = scale(2) - scale.line(1);
    InflateRect(&all, -inset, -inset);
    frameLines(renderDC, all, accent.get(), scale.line(1));

    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        const bool hovered = i == hoverIndex;
        if (hovered) {
            const RECT row = menuRowRect(i, width, scale);
            FillRect(renderDC, &row, accent.get());
        }
        DrawSmoothText(renderDC, items[size_t(i)].text.upperCopy().c_str(), textColor,
                       hovered ? accentColor : backColor, textFont.get(),
                       menuLabelRect(i, width, scale), labelFormat, true, textDC, scale);
    }
}

int CMenuWin::IdAt(POINT point) const {
    const int row = menuRowAt(point, {width, height}, scale);
    return row >= 0 && row < static_cast<int>(items.size()) ? items[size_t(row)].id : -1;
}

void CMenuWin::OnMouseMove(POINT point) {
    const int row = menuRowAt(point, {width, height}, scale);
    if (row != hoverIndex) {
        hoverIndex = row;
        Render();
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    // a pending press is cancelled once the pointer leaves its item, and stays cancelled
    if (IdAt(point) != pressedId) pressedId = -1;
}

void CMenuWin::OnPress(POINT point) {
    pressedId = IdAt(point);
}

void CMenuWin::OnRelease(POINT point) {
    if (pressedId == -1) return;
    if (IdAt(point) != pressedId) {
        pressedId = -1;
        return;
    }
    const int chosen = pressedId;
    pressedId = -1;
    // the opener learns of the choice only once the menu is gone and the mouse is free
    Dismiss();
    PostMessageW(opener, UM_COMMAND, static_cast<WPARAM>(chosen), 0);
}

void CMenuWin::OnLeaveCheck() {
    POINT cursor{};
    GetCursorPos(&cursor);
    const HWND under = WindowFromPoint(cursor);
    RECT shown{};
    GetWindowRect(hwnd, &shown);
    if (menuKeepsOpen(cursor, shown, openedAt, scale) || under == opener || under == hwnd) return;
    Dismiss();
}

void CMenuWin::Dismiss() {
    if (GetCapture() == hwnd) ReleaseCapture();
    KillTimer(hwnd, leaveTimer);
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE);
}

LRESULT CMenuWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        SetScale(Scale::ofWindow(window));
        return 0;
    case WM_DPICHANGED:
        SetScale(scaleFromDpiChange(wParam));
        return 0;
    case WM_PAINT:
        if (!paintDC.get()) {
            WindowDC screen(window);
            paintDC.reset(CreateCompatibleDC(screen));
        }
        paintBackBuffer(window, backBuffer.get(), paintDC);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        setPointerCursor(hInstance);
        return 0;
    case WM_TIMER:
        if (IsWindowVisible(window)) OnLeaveCheck();
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(pointFromLParam(lParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnPress(pointFromLParam(lParam));
        return 0;
    case WM_LBUTTONUP:
        OnRelease(pointFromLParam(lParam));
        return 0;
    default:
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}
