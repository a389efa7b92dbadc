#include "clients/selector_win.h"

#include <algorithm>
#include <iterator>

#include "clients/switch_keys.h"
#include "clients/window_events.h"
#include "core/messages.h"
#include "core/settings.h"
#include "res/resource.h"
#include "ui/draw.h"

namespace {

constexpr UINT_PTR refreshTimer = 0;
// A client's window is told destroyed while it is still being destroyed, and is listed until
// then: the strip looks again this soon, for this long at most, until it is gone.
constexpr UINT_PTR soonTimer = 1;
constexpr UINT soonPeriod = 15;
constexpr ULONGLONG dyingFollowMs = 1000;
constexpr UINT refreshPeriod = 90;
// Where Windows reports window changes, the timer only mends what an event missed.
constexpr UINT safetyPeriod = 2000;

void onStripEvent(void* strip, DWORD event, HWND window) {
    static_cast<CSelectorWin*>(strip)->OnWindowEvent(event, window);
}

bool isTopmost(HWND window) {
    return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}
constexpr UINT cellFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;

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

CSelectorWin::CSelectorWin()
    : scale(Scale::ofScreen()), textFont(createUiFont(scale(textFontHeight), FW_BOLD)),
      measureFont(createUiFont(scale(measureFontHeight), FW_BOLD)),
      hovered(reinterpret_cast<HWND>(~uintptr_t(0))) {}

CSelectorWin::~CSelectorWin() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd); // which lets go of the scan worker too
}

bool CSelectorWin::Create(HWND openerWindow) {
    // no width until it has cells to show; a strip made again after something destroyed
    // it keeps its records and back buffer, so it shows them at once
    const POINT at = StripPlace();
    if (!createWindow(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, WS_POPUP | WS_VISIBLE,
                      at.x, at.y, stripWidth, StripHeight()))
        return false;
    opener = openerWindow;
    return true;
}

POINT CSelectorWin::StripPlace() const {
    // the stored place itself is kept, so the strip returns there when its monitor does
    const RECT stored{settings.switcherX, settings.switcherY, settings.switcherX + stripWidth,
                      settings.switcherY + StripHeight()};
    return onScreenPosition(stored, monitorWorkAreas());
}

void CSelectorWin::OnScreenChange() {
    if (!IsWindow(hwnd) || moving) return; // a drag in progress goes on
    const POINT at = StripPlace();
    SetWindowPos(hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CSelectorWin::OnDpiChanged(Scale newScale, const RECT& suggested) {
    Rescale(newScale);
    // One move to the new place at the new size, so that Windows never sees the strip at a
    // size and place that belong to different monitors. Its size is its own, which the
    // suggestion matches but for rounding. Outside a drag the place is pulled into a work
    // area should the new size cross its edge; during one the pointer holds it.
    POINT at{suggested.left, suggested.top};
    if (!moving)
        at = onScreenPosition({at.x, at.y, at.x + stripWidth, at.y + StripHeight()},
                              monitorWorkAreas());
    SetWindowPos(hwnd, nullptr, at.x, at.y, stripWidth, StripHeight(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, FALSE);
}

int CSelectorWin::MeasureCell(const CWString& name) const {
    return MeasureCell(name, measureFont.get(), scale);
}

int CSelectorWin::MeasureCell(const CWString& name, HFONT font, Scale at) const {
    WindowDC dc(hwnd);
    Selection keepFont(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, name.c_str(), name.length(), &extent);
    return extent.cx + at(24);
}

SIZE CSelectorWin::SizeAt(Scale other) const {
    if (other == scale) return {stripWidth, StripHeight()};
    const Font font = createUiFont(other(measureFontHeight), FW_BOLD);
    ClientRecords measured = records;
    for (auto& entry : measured)
        entry.second.width = MeasureCell(entry.second.name, font.get(), other);
    return {stripWidthOf(measured, other), other(stripHeight)};
}

HWND CSelectorWin::HitTest(POINT point) const {
    RECT client{};
    GetClientRect(hwnd, &client);
    int index = cellAt(point, displayWidths(order, records), client, scale);
    if (index < 0) return nullptr;
    for (const auto& entry : order)
        if (index-- == 0) return entry.second;
    return nullptr;
}

RECT outOfReachSign(const RECT& cell, Scale scale) {
    const int inset = scale.line(1) + scale(1), side = scale(4);
    return {cell.left + inset, cell.top + inset, cell.left + inset + side, cell.top + inset + side};
}

void drawStrip(HDC dc, int stripWidth, const ClientOrder& order, const ClientRecords& records,
               HWND foreground, HWND hovered, HFONT font, Scale scale,
               const ClientSet& outOfReach) {
    Brush back(CreateSolidBrush(backColor)), accent(CreateSolidBrush(accentColor)),
        warning(CreateSolidBrush(linkColor));
    const RECT all{0, 0, stripWidth, scale(stripHeight)};
    FillRect(dc, &all, back.get());
    SetBkMode(dc, TRANSPARENT);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);

    const std::vector<RECT> cells = cellRects(displayWidths(order, records), scale);
    size_t i = 0;
    for (const auto& entry : order) {
        const RECT& cell = cells[i++];
        const ClientRecord& record = records.at(entry.second);
        const bool lit = record.window == foreground || record.window == hovered;
        if (lit) FillRect(dc, &cell, accent.get());
        frameLines(dc, cell, accent.get(), scale.line(1));
        DrawSmoothText(dc, record.name.upperCopy().c_str(), textColor,
                       lit ? accentColor : backColor, font, cell, cellFormat, true, nullptr, scale);
        if (outOfReach.count(record.window)) {
            const RECT sign = outOfReachSign(cell, scale);
            FillRect(dc, &sign, warning.get());
        }
    }
}

void CSelectorWin::Render() {
    if (!IsWindow(hwnd)) return;
    WindowDC screen(hwnd);
    MemoryDC mem(screen);
    backBuffer.reset(CreateCompatibleBitmap(screen, stripWidth, StripHeight()));
    if (!mem.get() || !backBuffer) return;
    Selection keepBuffer(mem, backBuffer.get()), keepFont(mem, textFont.get());
    // whatever made this render, the strip now shows this foreground
    lastForeground = clientInFront();
    drawStrip(mem, stripWidth, order, records, lastForeground, hovered, textFont.get(), scale,
              outOfReach);
}

void CSelectorWin::RelayoutStrip() {
    hoverStale = true; // the cells may have moved under a pointer that stood still
    Render();
    const bool visible = IsWindowVisible(hwnd) != FALSE;
    ShowWindow(hwnd, SW_HIDE);
    // back to the stored place, even if it was dragged and not locked since
    const POINT at = StripPlace();
    SetWindowPos(hwnd, HWND_TOPMOST, at.x, at.y, stripWidth, StripHeight(), SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, FALSE);
    if (visible) ShowWindow(hwnd, SW_SHOWNOACTIVATE);
}

void CSelectorWin::SetScale(Scale newScale) {
    if (newScale == scale) return;
    Rescale(newScale);
    SetWindowPos(hwnd, nullptr, 0, 0, stripWidth, StripHeight(),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, FALSE);
}

void CSelectorWin::Rescale(Scale newScale) {
    if (newScale == scale) return;
    scale = newScale;
    textFont = createUiFont(scale(textFontHeight), FW_BOLD);
    measureFont = createUiFont(scale(measureFontHeight), FW_BOLD);
    for (auto& entry : records)
        entry.second.width = MeasureCell(entry.second.name);
    stripWidth = stripWidthOf(records, scale);
    hoverStale = true;
    Render();
}

// Merges what the scan published since the last merge; true when the records changed.
bool CSelectorWin::MergeLastScan(const MeasureCellFn& measure) {
    // a worker that could not start is tried again at the next tick
    if (!scan.started() && IsWindow(hwnd) && scan.start(hwnd, UM_REFRESHSTRIP)) {
        mergedGeneration = 0;
        quiet = QuietView();
    }
    if (!scan.started()) return false;
    // The walk sends no client a message, so it runs here; the worker is woken only to ask a
    // client that is new, retitled or yet to answer. A change seen while the worker is busy
    // is seen again after it ends, since the worker's end brings another refresh.
    QuietView now;
    walkQuietly(now, others);
    if (!(now == quiet) || scan.asksAgain()) {
        // a client that rewrites its title all the time is asked no more often than the short
        // period allows, as when the strip looked only every period; a client that comes or
        // goes is asked at once
        const bool sameClients = now.count == quiet.count &&
                                 std::equal(now.windows, now.windows + now.count, quiet.windows);
        const ULONGLONG sinceWake = GetTickCount64() - lastWake;
        if (sameClients && sinceWake < refreshPeriod) {
            SetTimer(hwnd, soonTimer, UINT(refreshPeriod - sinceWake), nullptr);
        } else if (scan.wake()) {
            quiet = now;
            lastWake = GetTickCount64();
        }
    }
    ClientSlot slots[maxClients];
    {
        PublishedScan& last = scan.published();
        LockGuard guard(last.clientLock);
        if (last.generation == mergedGeneration) return false;
        mergedGeneration = last.generation;
        std::copy(std::begin(last.publishedSlots), std::end(last.publishedSlots), slots);
    }
    const bool merged = mergeSlots(slots, records, clientCounter, measure);
    return sweepRecords(records, hwnd) || merged;
}

void CSelectorWin::RefreshClients() {
    busy = 1;
    const MeasureCellFn measure = [this](const CWString& name) { return MeasureCell(name); };
    bool changed = MergeLastScan(measure);
    changed |= updatePlaceholder(records, hwnd, settings.keepSwitcherOpen != 0, measure);
    if (changed) {
        // a client that went takes its sign along; a new one with its handle has none
        for (auto it = outOfReach.begin(); it != outOfReach.end();)
            it = records.count(*it) ? std::next(it) : outOfReach.erase(it);
        rebuildOrder(records, order);
        stripWidth = stripWidthOf(records, scale);
        RelayoutStrip();
    } else if (const HWND front = records.empty() ? lastForeground : clientInFront();
               front != lastForeground) {
        // the highlight follows the client in front (without cells there is none to
        // follow); between windows without a cell nothing on the strip changes
        if (records.count(front) || records.count(lastForeground)) {
            Render();
            InvalidateRect(hwnd, nullptr, FALSE);
        } else {
            lastForeground = front;
        }
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
    SetScale(Scale::ofWindow(hwnd));
    if (menu.createWindow(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, WS_POPUP, 0, 0,
                          menuItemHeight, menuItemHeight))
        menu.opener = hwnd;
    FillMenu();
    Listen(true);
    RefreshClients();
    SetTimer(hwnd, refreshTimer, RefreshPeriod(), nullptr);
}

void CSelectorWin::Listen(bool on) {
    if (on)
        allHooked = WindowEvents::Listen(this, onStripEvent, windowEvents | foregroundEvents);
    else
        WindowEvents::Stop(this);
}

UINT CSelectorWin::RefreshPeriod() const {
    // with a hook missing, the events that come prove nothing of those that do not
    return eventsArrive && allHooked ? safetyPeriod : refreshPeriod;
}

bool CSelectorWin::Concerns(HWND window) {
    if (records.count(window)) return true;
    if (knownOther(others, window)) return false;
    wchar_t className[classNameBufferSize];
    if (GetClassNameW(window, className, classNameBufferSize) && isClientClass(className))
        return true;
    // its class is read once; the next walk forgets it if it is gone
    others.insert(std::upper_bound(others.begin(), others.end(), window, HandleLess()), window);
    return false;
}

void CSelectorWin::OnWindowEvent(DWORD event, HWND window) {
    if (!eventsArrive && WindowEvents::Proves(event)) {
        eventsArrive = true;
        if (Ticking()) SetTimer(hwnd, refreshTimer, RefreshPeriod(), nullptr);
    }
    if (window == hwnd || window == menu.hwnd) return;
    if (event == EVENT_OBJECT_DESTROY && records.count(window)) {
        dying = window;
        dyingSince = GetTickCount64();
    }
    bool refresh = false;
    if (event == EVENT_SYSTEM_FOREGROUND) {
        // the light moves on or off a cell
        refresh = records.count(GetAncestor(window, GA_ROOTOWNER)) || records.count(lastForeground);
    } else if (event == EVENT_OBJECT_DESTROY) {
        refresh = records.count(window) != 0; // a window gone has no class left to read
    } else {
        refresh = Concerns(window);
    }
    // a topmost window in front or newly shown may now cover the strip
    if (!refresh && (event == EVENT_SYSTEM_FOREGROUND || event == EVENT_OBJECT_SHOW) &&
        isTopmost(window))
        StayOnTop();
    if (refresh && !refreshPosted)
        refreshPosted = PostMessageW(hwnd, UM_REFRESHSTRIP, 0, 0) != FALSE;
}

void CSelectorWin::ApplySettings() {
    FillMenu();
    if (!settings.showSwitcher) {
        // hidden, not destroyed: it comes back at the same place, and nobody pays for a strip
        // nobody sees (the scan worker sleeps until a tick wakes it)
        KillTimer(hwnd, refreshTimer);
        Listen(false);
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_HIDEWINDOW);
        return;
    }
    Listen(true);
    RefreshClients();
    SetTimer(hwnd, refreshTimer, RefreshPeriod(), nullptr);
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

std::vector<HWND> CSelectorWin::ShownClients() const {
    std::vector<HWND> clients;
    if (!IsWindowVisible(hwnd)) return clients;
    for (const auto& entry : order)
        if (entry.second != hwnd) clients.push_back(entry.second); // not the placeholder
    return clients;
}

void CSelectorWin::FollowPassReport(const PassReport& report) {
    const size_t before = outOfReach.size();
    bool changed = false;
    for (const HWND client : report.changed)
        changed |= outOfReach.erase(client) != 0;
    for (const RefusedClient& client : report.refused)
        if (records.count(client.window)) outOfReach.insert(client.window);
    if (!changed && outOfReach.size() == before) return;
    Render();
    InvalidateRect(hwnd, nullptr, FALSE);
}

CWString CSelectorWin::ShownName(HWND client) const {
    const auto found = records.find(client);
    return found != records.end() && client != hwnd ? found->second.name : CWString();
}

bool CSelectorWin::Ticking() const {
    return IsWindow(hwnd) && settings.showSwitcher;
}

void CSelectorWin::OnTick() {
    RefreshClients();
    if (keys && keys->NeedsLooking()) keys->Look();
    // The pointer is read only while it lights a cell (to see it leave) or after the cells
    // moved: a pointer that comes onto a cell announces itself with a move.
    if (hovered || hoverStale) UpdateHover();
    StayOnTop();
    if (dying && records.count(dying) && GetTickCount64() - dyingSince < dyingFollowMs)
        SetTimer(hwnd, soonTimer, soonPeriod, nullptr);
    else
        dying = nullptr;
}

void CSelectorWin::StayOnTop() {
    // Stay above other programs' topmost windows, but below our own open menu. Moving costs
    // far more than looking, so it moves only when a window covers it.
    if (stripMustRise(stripWidth > 0, IsWindow(menu.hwnd) && IsWindowVisible(menu.hwnd),
                      windowsAbove(hwnd)))
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE);
}

void CSelectorWin::UpdateHover() {
    hoverStale = false;
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

void CSelectorWin::OnPointerMove(bool overCaption) {
    UpdateHover();
    // the pointer's leave is told, so a lit cell goes dark at once even when the strip looks
    // only now and then
    TRACKMOUSEEVENT leave{sizeof leave, DWORD(TME_LEAVE | (overCaption ? TME_NONCLIENT : 0)), hwnd,
                          0};
    if (hovered) TrackMouseEvent(&leave);
}

void CSelectorWin::OnPress(POINT point) {
    // unlocked, the whole strip is a caption: a press there never comes as a client one
    if (!locked) return;
    const HWND client = HitTest(point);
    if (!client || client == hwnd) return; // no cell, or the placeholder
    if (activations) activations->Start(client);
}

void CSelectorWin::OnDragPress(LPARAM screenPoint) {
    SetCursor(LoadCursorW(hInstance, MAKEINTRESOURCEW(IDC_MOVE)));
    // not through DefWindowProcW, which may bring the window to the front first
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, screenPoint);
}

void CSelectorWin::OpenMenu() {
    if (moving) return; // a right button released during a drag
    POINT cursor{};
    GetCursorPos(&cursor);
    menu.ShowAt(cursor.x, cursor.y);
}

void CSelectorWin::OnCommand(WPARAM command) {
    switch (command) {
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
    default:
        // the configuration reports back to the strip, the version window to its opener
        if (commands) commands->Run(command, hwnd, opener);
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
        KillTimer(window, soonTimer);
        Listen(false);
        scan.stop();
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
    case UM_REFRESHSTRIP:
        if (msg == UM_REFRESHSTRIP) refreshPosted = false;
        if (msg == WM_TIMER && wParam == soonTimer) KillTimer(window, soonTimer);
        // Windows' move loop goes on dispatching: a relayout now would put the strip back
        // at its stored place under the user's hand, so a refresh waits for the drag's end
        if (moving) return 0;
        if (!busy && Ticking()) OnTick(); // a scan that ends after the strip was hidden waits
        return 0;
    case WM_MOUSELEAVE:
    case WM_NCMOUSELEAVE:
        UpdateHover();
        return 0;
    case WM_NCHITTEST:
        // unlocked, a press anywhere drags it
        return locked ? DefWindowProcW(window, msg, wParam, lParam) : HTCAPTION;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
        OnPointerMove(msg == WM_NCMOUSEMOVE);
        return 0;
    case WM_LBUTTONDOWN:
        OnPress(pointFromLParam(lParam));
        return 0;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: // every press of a double click drags, as a client press would
        if (wParam != HTCAPTION) return DefWindowProcW(window, msg, wParam, lParam);
        OnDragPress(lParam);
        return 0;
    case WM_ENTERSIZEMOVE:
        moving = true;
        return 0;
    case WM_EXITSIZEMOVE:
        moving = false;
        // whatever came during the drag is seen now
        if (!refreshPosted) refreshPosted = PostMessageW(window, UM_REFRESHSTRIP, 0, 0) != FALSE;
        return 0;
    case WM_WINDOWPOSCHANGING:
        // the move loop's moves must not take the focus from the client either
        if (moving) reinterpret_cast<WINDOWPOS*>(lParam)->flags |= SWP_NOACTIVATE;
        return DefWindowProcW(window, msg, wParam, lParam);
    case WM_RBUTTONUP:
    case WM_NCRBUTTONUP:
        OpenMenu();
        return 0;
    case WM_NCRBUTTONDOWN:
        return 0; // no system menu
    case UM_COMMAND:
        OnCommand(wParam);
        return 0;
    case UM_SETTINGSCHANGED:
        // the owner follows every setting, the strip's among them
        if (IsWindow(opener))
            PostMessageW(opener, UM_SETTINGSCHANGED, 0, 0);
        else
            ApplySettings();
        return 0;
    case WM_DISPLAYCHANGE:
        OnScreenChange();
        return 0;
    case WM_GETDPISCALEDSIZE:
        // its width is a sum of measured names, which does not follow the scale in proportion:
        // Windows is told the size it will take, so the scale it chooses for a drag holds
        *reinterpret_cast<SIZE*>(lParam) = SizeAt({UINT(wParam)});
        return TRUE;
    case WM_DPICHANGED:
        OnDpiChanged(scaleFromDpiChange(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETWORKAREA) OnScreenChange();
        return DefWindowProcW(window, msg, wParam, lParam);
    default:
        return DefWindowProcW(window, msg, wParam, lParam);
    }
}
