#include "clients/selector_win.h"

#include <process.h>

#include "app/globals.h"
#include "app/messages.h"
#include "app/settings.h"
#include "clients/client_pass.h"
#include "clients/game_client.h"
#include "dialogs/config_win.h"
#include "dialogs/version_win.h"
#include "res/resource.h"
#include "ui/draw.h"

namespace {

constexpr UINT_PTR refreshTimer = 0;
constexpr UINT refreshPeriod = 90;
constexpr UINT cellFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;

HANDLE startWorker(unsigned(__stdcall* procedure)(void*), void* argument) {
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, procedure, argument, 0, nullptr));
}

bool ended(const KernelHandle& thread) {
    return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
}

} // namespace

std::vector<SwitcherMenuEntry> switcherMenuEntries(bool opensClients, bool locked) {
    std::vector<SwitcherMenuEntry> entries;
    if (opensClients) entries.push_back({L"Open client", cmdOpenClient});
    entries.push_back({L"Set clients", cmdSetClients});
    entries.push_back({L"Restore", cmdRestore});
    entries.push_back({locked ? L"Unlock" : L"Lock", cmdLockToggle});
    entries.push_back({L"Show taskbar", cmdShowTaskbar});
    entries.push_back({L"Configure", cmdConfigure});
    entries.push_back({L"Version", cmdVersion});
    entries.push_back({L"Exit Skarvel", cmdExit});
    return entries;
}

unsigned __stdcall ActivateClient(void* window) {
    const HWND client = static_cast<HWND>(window);
    if (IsWindow(client) && GetForegroundWindow() != client) {
        restoreShowState(client);
        SetForegroundWindow(client);
    }
    return 0;
}

CSelectorWin::CSelectorWin()
    : textFont(createUiFont(textFontHeight, FW_BOLD)),
      measureFont(createUiFont(measureFontHeight, FW_BOLD)),
      hovered(reinterpret_cast<HWND>(~uintptr_t(0))) {
    InitializeCriticalSection(&clientLock);
}

CSelectorWin::~CSelectorWin() {
    // Workers are never terminated: closing their handles lets them finish alone. A scan
    // that still runs will enter the lock once more, so the lock stays for it.
    const auto scan = workers.find(scanKey);
    const bool scanRunning = scan != workers.end() && !ended(scan->second);
    workers.clear();
    if (!scanRunning) DeleteCriticalSection(&clientLock);
    setClientsThread.reset();
    restoreThread.reset();
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

bool CSelectorWin::Create(HWND openerWindow) {
    // no width until it has cells to show
    if (!createWindow(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, WS_POPUP | WS_VISIBLE,
                      settings.switcherX, settings.switcherY, 0, stripHeight))
        return false;
    opener = openerWindow;
    return true;
}

int CSelectorWin::MeasureCell(const CWString& name) const {
    WindowDC dc(hwnd);
    Selection keepFont(dc, measureFont.get());
    SIZE extent{};
    GetTextExtentPoint32W(dc, name.c_str(), name.length(), &extent);
    return extent.cx + 24;
}

HWND CSelectorWin::HitTest(POINT point) const {
    RECT client{};
    GetClientRect(hwnd, &client);
    int index = cellAt(point, displayWidths(order, records), client);
    if (index < 0) return nullptr;
    for (const auto& entry : order)
        if (index-- == 0) return entry.second;
    return nullptr;
}

void drawStrip(HDC dc, int stripWidth, const ClientOrder& order, const ClientRecords& records,
               HWND foreground, HWND hovered, HFONT font) {
    Brush back(CreateSolidBrush(backColor)), accent(CreateSolidBrush(accentColor));
    const RECT all{0, 0, stripWidth, stripHeight};
    FillRect(dc, &all, back.get());
    SetBkMode(dc, TRANSPARENT);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);

    const std::vector<RECT> cells = cellRects(displayWidths(order, records));
    size_t i = 0;
    for (const auto& entry : order) {
        const RECT& cell = cells[i++];
        const ClientRecord& record = records.at(entry.second);
        const bool lit = record.window == foreground || record.window == hovered;
        if (lit) FillRect(dc, &cell, accent.get());
        FrameRect(dc, &cell, accent.get());
        DrawSmoothText(dc, record.name.upperCopy().c_str(), textColor,
                       lit ? accentColor : backColor, font, cell, cellFormat, true);
    }
}

void CSelectorWin::Render() {
    if (!IsWindow(hwnd)) return;
    WindowDC screen(hwnd);
    MemoryDC mem(screen);
    backBuffer.reset(CreateCompatibleBitmap(screen, stripWidth, stripHeight));
    if (!mem.get() || !backBuffer) return;
    Selection keepBuffer(mem, backBuffer.get()), keepFont(mem, textFont.get());
    // whatever made this render, the strip now shows this foreground
    lastForeground = GetForegroundWindow();
    drawStrip(mem, stripWidth, order, records, lastForeground, hovered, textFont.get());
}

void CSelectorWin::RelayoutStrip() {
    Render();
    const bool visible = IsWindowVisible(hwnd) != FALSE;
    ShowWindow(hwnd, SW_HIDE);
    // back to the stored place, even if it was dragged and not locked since
    SetWindowPos(hwnd, HWND_TOPMOST, settings.switcherX, settings.switcherY, stripWidth,
                 stripHeight, SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, FALSE);
    if (visible) ShowWindow(hwnd, SW_SHOWNOACTIVATE);
}

void CSelectorWin::StartScan() {
    scanKey = hwnd;
    auto scan = workers.find(scanKey);
    if (scan != workers.end() && !ended(scan->second)) return;
    // a worker that cannot start leaves no entry, so the next tick tries again
    KernelHandle thread(startWorker(ScanClients, nullptr));
    if (thread)
        workers[scanKey] = std::move(thread);
    else if (scan != workers.end())
        workers.erase(scan);
}

void CSelectorWin::SweepWorkers() {
    for (auto it = workers.begin(); it != workers.end();) {
        if (it->first != scanKey && !records.count(it->first) && ended(it->second))
            it = workers.erase(it);
        else
            ++it;
    }
}

void CSelectorWin::RefreshClients() {
    busy = 1;
    StartScan();
    const MeasureCellFn measure = [this](const CWString& name) { return MeasureCell(name); };
    bool changed;
    {
        LockGuard guard(clientLock);
        changed = mergeSlots(publishedSlots, records, clientCounter, measure);
    }
    changed |= sweepRecords(records, hwnd);
    changed |= updatePlaceholder(records, hwnd, settings.keepSwitcherOpen != 0, measure);
    SweepWorkers();
    if (changed) {
        rebuildOrder(records, order);
        stripWidth = stripWidthOf(records);
        RelayoutStrip();
    } else if (GetForegroundWindow() != lastForeground) {
        // the highlight follows the client in front
        Render();
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    busy = 0;
}

void CSelectorWin::FillMenu() {
    menu.ClearItems();
    const auto entries = switcherMenuEntries(settings.switcherOpensClients == 1, locked != 0);
    for (size_t i = 0; i < entries.size(); ++i)
        menu.AppendItem(entries[i].text, entries[i].command, i + 1 == entries.size());
}

void CSelectorWin::OnCreate() {
    if (menu.createWindow(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, WS_POPUP, 0, 0,
                          menuItemHeight, menuItemHeight))
        menu.opener = hwnd;
    FillMenu();
    RefreshClients();
    SetTimer(hwnd, refreshTimer, refreshPeriod, nullptr);
}

void CSelectorWin::ApplySettings() {
    FillMenu();
    RefreshClients();
    ShowWindow(hwnd, settings.showSwitcher ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void CSelectorWin::OnTick() {
    RefreshClients();
    UpdateHover();
    // stay above other topmost windows, but below our own open menu
    if (!IsWindow(menu.hwnd) || !IsWindowVisible(menu.hwnd))
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE);
}

void CSelectorWin::UpdateHover() {
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(hwnd, &cursor);
    const HWND hit = HitTest(cursor);
    if (hit == hovered) return;
    hovered = hit;
    Render();
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
}

void CSelectorWin::OnMouseMove(POINT point) {
    if (GetCapture() != hwnd) {
        UpdateHover();
        return;
    }
    // dragging: the strip follows the pointer and never takes the focus
    RECT r{};
    GetWindowRect(hwnd, &r);
    SetWindowPos(hwnd, HWND_TOPMOST, r.left + point.x - pressPoint.x,
                 r.top + point.y - pressPoint.y, r.right - r.left, r.bottom - r.top,
                 SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

void CSelectorWin::OnPress(POINT point) {
    pressPoint = point;
    if (!locked) {
        SetCapture(hwnd);
        SetCursor(LoadCursorW(hInstance, MAKEINTRESOURCEW(IDC_MOVE)));
        return;
    }
    const HWND client = HitTest(pressPoint);
    if (!client || client == hwnd) return; // no cell, or the placeholder
    auto running = workers.find(client);
    if (running != workers.end() && !ended(running->second)) return; // still activating it
    KernelHandle thread(startWorker(ActivateClient, client));
    if (thread)
        workers[client] = std::move(thread);
    else if (running != workers.end())
        workers.erase(running);
}

void CSelectorWin::OnCommand(WPARAM command) {
    switch (command) {
    case cmdSetClients:
        startClientPass(setClientsThread, fitPass);
        break;
    case cmdRestore:
        startClientPass(restoreThread, restorePass);
        break;
    case cmdLockToggle:
        if (locked) {
            locked = 0;
            menu.ReplaceItemText(L"Unlock", L"Lock", true);
        } else {
            locked = 1;
            menu.ReplaceItemText(L"Lock", L"Unlock", true);
            RECT r{};
            GetWindowRect(hwnd, &r);
            saveSwitcherPosition(r.left, r.top);
        }
        break;
    case cmdShowTaskbar:
        if (const HWND taskbar = FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", nullptr))
            SetForegroundWindow(taskbar);
        break;
    case cmdOpenClient:
        openClient(settings.clientPath);
        break;
    case cmdConfigure:
        if (configWindow && !IsWindow(configWindow->hwnd)) configWindow->Create(hwnd);
        break;
    case cmdVersion:
        if (versionWindow && !IsWindow(versionWindow->hwnd)) versionWindow->Create(opener);
        break;
    case cmdExit:
        PostQuitMessage(0);
        break;
    default:
        break;
    }
}

LRESULT CSelectorWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_DESTROY:
        KillTimer(window, refreshTimer);
        return 0;
    case WM_PAINT:
        paintBackBuffer(window, backBuffer.get());
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        setPointerCursor(hInstance);
        return 0;
    case WM_TIMER:
        if (!busy) OnTick();
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(pointFromLParam(lParam));
        return 0;
    case WM_LBUTTONDOWN:
        OnPress(pointFromLParam(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == window) ReleaseCapture();
        return 0;
    case WM_RBUTTONUP:
        if (GetCapture() != window) {
            POINT cursor{};
            GetCursorPos(&cursor);
            menu.ShowAt(cursor.x, cursor.y);
        }
        return 0;
    case UM_COMMAND:
        OnCommand(wParam);
        return 0;
    case UM_SETTINGSCHANGED:
        ApplySettings();
        return 0;
    default:
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}
