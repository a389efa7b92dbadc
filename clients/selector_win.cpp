#include "clients/selector_win.h"

#include <algorithm>
#include <iterator>

#include "clients/strip_draw.h"
#include "clients/switch_keys.h"
#include "clients/window_events.h"
#include "core/messages.h"
#include "core/settings.h"
#include "core/user32.h"
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

} // namespace

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
    return measureCell(hwnd, name, measureFont.get(), scale);
}

SIZE CSelectorWin::SizeAt(Scale other) const {
    if (other == scale) return {stripWidth, StripHeight()};
    const Font font = createUiFont(other(measureFontHeight), FW_BOLD);
    ClientRecords measured = model.records;
    for (auto& entry : measured)
        entry.second.width = measureCell(hwnd, entry.second.name, font.get(), other);
    return {stripWidthOf(measured, other), other(stripHeight)};
}

HWND CSelectorWin::HitTest(POINT point) const {
    RECT client{};
    GetClientRect(hwnd, &client);
    return model.ClientAt(point, client, scale);
}

void CSelectorWin::Render() {
    if (!IsWindow(hwnd)) return;
    WindowDC screen(hwnd);
    MemoryDC mem(screen);
    backBuffer.reset(CreateCompatibleBitmap(screen, stripWidth, StripHeight()));
    if (!mem.get() || !backBuffer) return;
    Selection keepBuffer(mem, backBuffer.get()), keepFont(mem, textFont.get());
    // whatever made this render, the strip now shows this foreground
    lastForeground = FrontClient();
    drawStrip(mem, stripWidth, model.order, model.records, lastForeground, hovered, textFont.get(),
              scale);
}

HWND CSelectorWin::FrontClient() {
    // the walk up the owners reads class names: only for a foreground window not seen before
    const HWND front = GetForegroundWindow();
    if (front != foregroundSeen) {
        foregroundSeen = front;
        foregroundClient = clientOf(front);
    }
    return foregroundClient;
}

void CSelectorWin::Redraw() {
    Render();
    InvalidateRect(hwnd, nullptr, FALSE);
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
    for (auto& entry : model.records)
        entry.second.width = MeasureCell(entry.second.name);
    stripWidth = stripWidthOf(model.records, scale);
    hoverStale = true;
    Render();
}

// Merges what the scan published since the last merge; true when the records changed.
bool CSelectorWin::MergeLastScan(const MeasureCellFn& measure) {
    ClientSlot slots[maxClients];
    UINT soonMs = 0;
    const bool published = feed.Take(hwnd, UM_REFRESHSTRIP, slots, soonMs);
    if (soonMs) SetTimer(hwnd, soonTimer, soonMs, nullptr);
    if (!published) return false;
    const bool merged = mergeSlots(slots, model.records, model.clientCounter, measure);
    return sweepRecords(model.records, hwnd) || merged;
}

void CSelectorWin::RefreshClients() {
    busy = 1;
    const MeasureCellFn measure = [this](const CWString& name) { return MeasureCell(name); };
    bool changed = MergeLastScan(measure);
    changed |= updatePlaceholder(model.records, hwnd, settings.keepSwitcherOpen != 0, measure);
    // minimised and restored clients are reported where Windows reports anything; hangs and
    // what an event missed are looked for at the safety scan's period, not at every look
    const bool states =
        (statesAsked || changed || GetTickCount64() - statesLookedAt >= safetyPeriod) &&
        LookAtStates();
    if (changed) {
        // a carried cell is put down where it stands before the cells change under it
        EndCarry();
        model.Rebuild(settings.clientOrder);
        stripWidth = stripWidthOf(model.records, scale);
        RelayoutStrip();
    } else if (const HWND front = model.records.empty() ? lastForeground : FrontClient();
               states || front != lastForeground) {
        // the highlight follows the client in front (without cells there is none to
        // follow); between windows without a cell nothing on the strip changes
        if (states || model.records.count(front) || model.records.count(lastForeground)) {
            Redraw();
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

bool CSelectorWin::LookAtStates() {
    statesAsked = false;
    statesLookedAt = GetTickCount64();
    bool changed = false;
    for (auto& [window, record] : model.records) {
        if (window == hwnd) continue; // the placeholder
        // both are the window manager's own records: no client is sent a message
        const bool minimised = IsIconic(window) != FALSE, hung = IsHungAppWindow(window) != FALSE;
        changed |= record.minimised != minimised || record.hung != hung;
        record.minimised = minimised;
        record.hung = hung;
    }
    return changed;
}

bool CSelectorWin::Concerns(HWND window) {
    return model.records.count(window) || feed.IsClient(window);
}

void CSelectorWin::OnWindowEvent(DWORD event, HWND window) {
    if (!eventsArrive && WindowEvents::Proves(event)) {
        eventsArrive = true;
        if (Ticking()) SetTimer(hwnd, refreshTimer, RefreshPeriod(), nullptr);
    }
    if (window == hwnd || window == menu.hwnd) return;
    if ((event == EVENT_SYSTEM_MINIMIZESTART || event == EVENT_SYSTEM_MINIMIZEEND) &&
        model.records.count(window))
        statesAsked = true;
    if (event == EVENT_OBJECT_DESTROY && model.records.count(window)) {
        dying = window;
        dyingSince = GetTickCount64();
    }
    bool refresh = false;
    if (event == EVENT_SYSTEM_FOREGROUND) {
        // the light moves on or off a cell
        refresh = model.records.count(clientOf(window)) || model.records.count(lastForeground);
    } else if (event == EVENT_OBJECT_DESTROY) {
        refresh = model.records.count(window) != 0; // a window gone has no class left to read
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
        EndCarry();
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
    if (!IsWindowVisible(hwnd)) return {};
    std::vector<HWND> clients = model.order;
    std::erase(clients, hwnd); // not the placeholder
    return clients;
}

void CSelectorWin::FollowPassReport(const PassReport& report) {
    if (followPassReport(model.records, report)) Redraw();
}

CWString CSelectorWin::ShownName(HWND client) const {
    const auto found = model.records.find(client);
    return found != model.records.end() && client != hwnd ? found->second.name : CWString();
}

bool CSelectorWin::Ticking() const {
    return IsWindow(hwnd) && settings.showSwitcher;
}

void CSelectorWin::OnTick() {
    RefreshClients();
    if (keys && keys->NeedsLooking()) keys->Look();
    if (newClients && newClients->NeedsLooking()) newClients->Look();
    // The pointer is read only while it lights a cell (to see it leave) or after the cells
    // moved: a pointer that comes onto a cell announces itself with a move.
    if (hovered || hoverStale) UpdateHover();
    StayOnTop();
    if (dying && model.records.count(dying) && GetTickCount64() - dyingSince < dyingFollowMs)
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
    Redraw();
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
    // a client that stopped answering is marked now, not at the next look
    ClientRecord& record = model.records.at(client);
    const bool hung = IsHungAppWindow(client) != FALSE;
    if (record.hung != hung) {
        record.hung = hung;
        Redraw();
    }
    model.Press(client, point.x);
    if (model.Dragged()) SetCapture(hwnd);
}

void CSelectorWin::OnCarry(POINT point) {
    if (GetCapture() != hwnd || !model.Dragged()) return;
    // a move shorter than the system's drag distance is still a click
    const int slop = systemMetricsAtDpi ? systemMetricsAtDpi(SM_CXDRAG, scale.dpi) : scale(4);
    if (!model.DragTo(point.x, slop, scale)) return;
    Redraw();
    UpdateWindow(hwnd);
}

void CSelectorWin::EndCarry() {
    // the system's move loop of the unlocked strip holds a capture that is not ours to end
    if (!model.Dragged()) return;
    PlayerOrder changed;
    const bool moved = model.Release(settings.clientOrder, changed);
    if (GetCapture() == hwnd) ReleaseCapture(); // which comes back here with nothing to carry
    if (!moved) return;
    saveClientOrder(changed);
    model.Rebuild(settings.clientOrder);
    hoverStale = true;
    Redraw();
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
        feed.Stop();
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
        OnCarry(pointFromLParam(lParam));
        OnPointerMove(false);
        return 0;
    case WM_NCMOUSEMOVE:
        OnPointerMove(true);
        return 0;
    case WM_LBUTTONDOWN:
        OnPress(pointFromLParam(lParam));
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        EndCarry();
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
