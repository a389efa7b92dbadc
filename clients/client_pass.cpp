#include "clients/client_pass.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <process.h>
#include <vector>

#include "clients/client_list.h"
#include "core/game_client.h"
#include "core/rights.h"
#include "core/user32.h"

// What every pass shares: the newest request, the windows being handled now, and the report
// of the last pass that went to the end.
struct ClientPasses::Shared {
    // the newest request: its number times four plus what it asks for
    std::atomic<unsigned> request{0};
    // held only for a look at `busy`, never across a call into a client
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE freed = CONDITION_VARIABLE_INIT;
    std::vector<HWND> busy;
    PassReport report; // under `lock`
    bool reported = false;
};

namespace {

// What a request asks for, in its two low bits.
constexpr unsigned askRestore = 0, askFit = 1, askStop = 2;

// Physical pixels for this thread only; the program's own windows stay as they are.
// Version 2 came with Windows 10 1703 and Wine 8 has none; the first one reads and writes
// physical pixels alike.
void perMonitorAwareThread() {
    if (setThreadDpiAwareness && !setThreadDpiAwareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2))
        setThreadDpiAwareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
}

struct PassRun {
    int mode;
    ClientPasses::Shared* shared; // null: nothing supersedes this pass
    unsigned request;
    PassReport* report; // null: nobody asks
    const Places* places = nullptr;
    std::vector<MonitorArea> monitors; // read once a pass, only when there are places
    const std::vector<HWND>* only = nullptr;

    bool superseded() const { return shared && shared->request.load() != request; }
};

// A window this pass alone handles for a scope. Another pass that has it is waited for, here
// on the worker, unless this pass is superseded meanwhile.
class WindowClaim {
  public:
    WindowClaim(const PassRun& run, HWND client) : shared(run.shared), window(client) {
        AcquireSRWLockExclusive(&shared->lock);
        while (!run.superseded()) {
            if (std::find(shared->busy.begin(), shared->busy.end(), client) == shared->busy.end()) {
                shared->busy.push_back(client);
                held = true;
                break;
            }
            // woken when a window is let go; now and then anyway, to see whether still wanted
            SleepConditionVariableSRW(&shared->freed, &shared->lock, 50, 0);
        }
        ReleaseSRWLockExclusive(&shared->lock);
    }
    ~WindowClaim() {
        if (!held) return;
        AcquireSRWLockExclusive(&shared->lock);
        shared->busy.erase(std::find(shared->busy.begin(), shared->busy.end(), window));
        ReleaseSRWLockExclusive(&shared->lock);
        WakeAllConditionVariable(&shared->freed);
    }
    WindowClaim(const WindowClaim&) = delete;
    WindowClaim& operator=(const WindowClaim&) = delete;
    bool held = false;

  private:
    ClientPasses::Shared* shared;
    HWND window;
};

// What became of one client: untouched also where it already had the frame asked for.
enum class Outcome { untouched, changed, refused, elevated };

// Where a client with a place goes, read in physical pixels before the pass takes the client's
// own awareness: the work area of the monitor it goes to, and the remembered place.
struct PlaceTarget {
    HMONITOR monitor = nullptr;
    RECT work{};
    const Place* place = nullptr;
};

PlaceTarget placeTargetOf(HWND hwnd, const PassRun& run) {
    PlaceTarget target;
    if (!run.places || run.places->empty()) return target;
    wchar_t title[clientTitleUnits] = {};
    wchar_t name[clientNameUnits] = {};
    nameFromTitle(title, InternalGetWindowText(hwnd, title, clientTitleUnits), name);
    const auto found = run.places->find(name);
    // the login screen's title names no character
    if (found == run.places->end() || wcscmp(name, clientBareTitle) == 0) return target;
    if (const MonitorArea* remembered = monitorOf(found->second, run.monitors)) {
        target.monitor = remembered->handle;
        target.work = remembered->work;
    } else {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        target.monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST);
        if (!GetMonitorInfoW(target.monitor, &info)) return {};
        target.work = info.rcWork;
    }
    target.place = &found->second;
    return target;
}

// The outer rectangle `bounds` (in the client's own pixels) moved to the client's place. The
// place is reckoned in physical pixels; the client's pixels map onto them as the monitor's
// work area does in either (the same, but for a DPI-unaware client on a scaled monitor).
RECT atPlace(RECT bounds, const PlaceTarget& target) {
    MONITORINFO own{};
    own.cbSize = sizeof(own);
    if (!target.place || !GetMonitorInfoW(target.monitor, &own)) return bounds;
    const RECT &physical = target.work, &logical = own.rcWork;
    const LONG pw = physical.right - physical.left, ph = physical.bottom - physical.top;
    const LONG lw = logical.right - logical.left, lh = logical.bottom - logical.top;
    if (pw <= 0 || ph <= 0 || lw <= 0 || lh <= 0) return bounds;
    const SIZE size{MulDiv(bounds.right - bounds.left, pw, lw),
                    MulDiv(bounds.bottom - bounds.top, ph, lh)};
    const POINT at = placedOn(*target.place, physical, size);
    OffsetRect(&bounds, logical.left + MulDiv(at.x - physical.left, lw, pw) - bounds.left,
               logical.top + MulDiv(at.y - physical.top, lh, ph) - bounds.top);
    return bounds;
}

// Windows keeps a program from changing the windows of a process above its own integrity
// level (a client started as administrator) and says ERROR_ACCESS_DENIED; a client whose
// token cannot even be read is taken for one that is not above.
Outcome refusalOf(HWND hwnd, DWORD error) {
    if (error == ERROR_ACCESS_DENIED) return Outcome::elevated;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (process && integrityLevel(process.get()) > integrityLevel(GetCurrentProcess()))
        return Outcome::elevated;
    return Outcome::refused;
}

// The bits that make the frame; the system keeps some others as it likes.
constexpr LONG frameStyleBits =
    WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr LONG frameExStyleBits =
    WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;

// One style set and read back: a client may turn the change down itself (in
// WM_STYLECHANGING) without any error, and Windows refuses it with one.
Outcome setStyle(HWND hwnd, int index, LONG value, LONG frameBits) {
    SetLastError(0);
    // 0 is also the previous value of a style that had none: only the error tells
    if (!SetWindowLongPtrW(hwnd, index, value)) {
        if (const DWORD error = GetLastError()) return refusalOf(hwnd, error);
    }
    const LONG now = static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
    return ((now ^ value) & frameBits) ? refusalOf(hwnd, 0) : Outcome::changed;
}

constexpr UINT quietly = SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE;

// Both styles back as they were, and the frame they make.
void rollBack(HWND hwnd, LONG style, LONG exStyle) {
    SetWindowLongPtrW(hwnd, GWL_STYLE, style);
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, exStyle);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, quietly | SWP_NOMOVE | SWP_NOSIZE | SWP_FRAMECHANGED);
}

// The frame around an empty client area at the client's own DPI, which may not be the
// program's; before Windows 10 1607, at the system's.
RECT frameAround(HWND hwnd, LONG style, LONG exStyle) {
    RECT frame{};
    const UINT dpi = windowDpi ? windowDpi(hwnd) : 0;
    if (!dpi || !adjustWindowRectAtDpi ||
        !adjustWindowRectAtDpi(&frame, static_cast<DWORD>(style), FALSE,
                               static_cast<DWORD>(exStyle), dpi))
        AdjustWindowRectEx(&frame, static_cast<DWORD>(style), FALSE, static_cast<DWORD>(exStyle));
    return frame;
}

// Caption, frame, place and size, and nothing else: the client is never activated, keeps
// its place in the z-order and stays as visible or hidden as it was. A client that refuses
// any step is left as it was.
Outcome fitOrRestore(HWND hwnd, int mode, const PlaceTarget& target) {
    // Every client in its own awareness: a DPI-unaware one in the 96-DPI pixels it renders
    // at, an aware one in physical pixels, so no size is scaled and rounded on its way.
    const AwarenessOfWindow asTheClient(hwnd);

    // Windows refuses every change to a client above the program's rights: one minimised or
    // maximised is asked first, with the style it has, so it is not taken out of that state
    // only to be refused its frame (the others are refused before anything has changed)
    if (IsIconic(hwnd) || IsZoomed(hwnd)) {
        SetLastError(0);
        if (!SetWindowLongPtrW(hwnd, GWL_STYLE, GetWindowLongPtrW(hwnd, GWL_STYLE))) {
            if (const DWORD error = GetLastError()) return refusalOf(hwnd, error);
        }
    }

    // un-minimise or un-maximise first, so the sizes below are the normal ones
    if (!showNormalWithoutActivating(hwnd)) return Outcome::untouched;

    RECT client{};
    if (!GetClientRect(hwnd, &client)) return Outcome::untouched;
    const SIZE clientSize{client.right, client.bottom};

    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);

    const LONG style = static_cast<LONG>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const LONG exStyle = static_cast<LONG>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    const bool fit = mode == fitPass;
    if (hasCaption(style) != fit) {
        // the frame is already the one asked for: a client with a place goes there all the same
        RECT now{};
        if (!target.place || !GetWindowRect(hwnd, &now)) return Outcome::untouched;
        const RECT placed = atPlace(now, target);
        if (placed.left == now.left && placed.top == now.top) return Outcome::untouched;
        return SetWindowPos(hwnd, nullptr, placed.left, placed.top, 0, 0, quietly | SWP_NOSIZE)
                   ? Outcome::changed
                   : refusalOf(hwnd, GetLastError());
    }
    // as visible or hidden as it was, and still disabled under the game's own modal dialog
    const LONG kept = WS_VISIBLE | WS_DISABLED;
    const LONG newStyle = ((fit ? fittedStyle : restoredStyle) & ~kept) | (style & kept);
    const LONG newExStyle = fit ? fittedExStyle : restoredExStyle;

    Outcome outcome = setStyle(hwnd, GWL_STYLE, newStyle, frameStyleBits);
    if (outcome == Outcome::changed)
        outcome = setStyle(hwnd, GWL_EXSTYLE, newExStyle, frameExStyleBits);
    RECT bounds{};
    if (fit) {
        bounds = fittedBounds(monitor.rcWork, clientSize);
    } else {
        const RECT frame = frameAround(hwnd, newStyle, newExStyle);
        bounds = restoredBounds(monitor.rcWork, clientSize, -frame.left, frame.bottom,
                                -frame.top - frame.bottom);
    }
    bounds = atPlace(bounds, target);
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    // the new frame takes effect in this one call, so the client area keeps its size
    if (outcome == Outcome::changed && !SetWindowPos(hwnd, nullptr, bounds.left, bounds.top, width,
                                                     height, quietly | SWP_FRAMECHANGED))
        outcome = refusalOf(hwnd, GetLastError());
    if (outcome != Outcome::changed) {
        rollBack(hwnd, style, exStyle);
        return outcome;
    }
    // a frame of another size than the system said (a theme, a client that draws its own):
    // corrected by the difference once, so the client area is exactly the one it had
    RECT now{};
    if (GetClientRect(hwnd, &now) && (now.right != clientSize.cx || now.bottom != clientSize.cy))
        SetWindowPos(hwnd, nullptr, 0, 0, width + clientSize.cx - now.right,
                     height + clientSize.cy - now.bottom, quietly | SWP_NOMOVE);
    return Outcome::changed;
}

// Notes a client's outcome in the pass's report, with the name its title gives it; the
// window manager's copy of the title, so a client is not asked.
void noteOutcome(PassReport* report, HWND hwnd, Outcome outcome) {
    if (!report || outcome == Outcome::untouched) return;
    if (outcome == Outcome::changed) {
        report->changed.push_back(hwnd);
        return;
    }
    wchar_t title[clientTitleUnits] = {};
    wchar_t name[clientNameUnits] = {};
    nameFromTitle(title, InternalGetWindowText(hwnd, title, clientTitleUnits), name);
    report->refused.push_back(
        {hwnd, outcome == Outcome::elevated ? Refusal::elevated : Refusal::refused, name});
}

// Stack buffers only, and no lock held while a client is called: a pass stuck in a hung
// client holds up only the passes that come to that same client, on their own workers.
BOOL CALLBACK clientWindowVisitor(HWND hwnd, LPARAM param) {
    const PassRun& run = *reinterpret_cast<const PassRun*>(param);
    if (run.superseded()) return FALSE; // the newer pass covers every window
    wchar_t className[classNameBufferSize];
    if (!GetClassNameW(hwnd, className, classNameBufferSize) || !isClientClass(className))
        return TRUE;
    if (!IsWindow(hwnd)) return TRUE;
    if (run.only && std::find(run.only->begin(), run.only->end(), hwnd) == run.only->end())
        return TRUE;
    const PlaceTarget target = placeTargetOf(hwnd, run);
    if (!run.shared) {
        noteOutcome(run.report, hwnd, fitOrRestore(hwnd, run.mode, target));
        return TRUE;
    }
    const WindowClaim claim(run, hwnd);
    if (!claim.held) return FALSE;
    noteOutcome(run.report, hwnd, fitOrRestore(hwnd, run.mode, target));
    return TRUE;
}

// A pass of the owner; ends when done or superseded.
struct PassOrder {
    std::shared_ptr<ClientPasses::Shared> shared;
    unsigned request;
    HWND reportTo;
    UINT reportMessage;
    Places places;
    std::vector<HWND> only;
};

unsigned __stdcall ownedPassThread(void* order) {
    const std::unique_ptr<PassOrder> own(static_cast<PassOrder*>(order));
    perMonitorAwareThread();
    PassReport report;
    report.mode = (own->request & 3) == askFit ? fitPass : restorePass;
    PassRun run{report.mode, own->shared.get(), own->request, &report, nullptr, {}, nullptr};
    run.places = &own->places;
    if (!own->places.empty()) run.monitors = connectedMonitors();
    if (!own->only.empty()) run.only = &own->only;
    EnumWindows(clientWindowVisitor, reinterpret_cast<LPARAM>(&run));
    // once per command: a superseded pass leaves the telling to the newer one
    ClientPasses::Shared& shared = *own->shared;
    AcquireSRWLockExclusive(&shared.lock);
    const bool last = !run.superseded();
    if (last) {
        shared.report = std::move(report);
        shared.reported = true;
    }
    ReleaseSRWLockExclusive(&shared.lock);
    if (last && own->reportTo) PostMessageW(own->reportTo, own->reportMessage, 0, 0);
    return 0;
}

} // namespace

bool hasCaption(LONG style) {
    return (style & WS_CAPTION) == WS_CAPTION;
}

RECT fittedBounds(const RECT& workArea, SIZE clientSize) {
    return {workArea.left, workArea.top, workArea.left + clientSize.cx,
            workArea.top + clientSize.cy};
}

RECT restoredBounds(const RECT& workArea, SIZE clientSize, int frameX, int frameY, int caption) {
    return {workArea.left, workArea.top, workArea.left + clientSize.cx + 2 * frameX,
            workArea.top + clientSize.cy + 2 * frameY + caption};
}

bool showNormalWithoutActivating(HWND hwnd) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(hwnd, &placement))
        return false; // gone: a zeroed record would collapse it
    // a normal window is left alone: any show command could show or raise it
    if (!IsIconic(hwnd) && !IsZoomed(hwnd)) return true;
    // a hidden one too: every way out of minimised or maximised would show it
    if (!IsWindowVisible(hwnd)) return false;
    // the normal size even where a minimised window would go back to maximised
    placement.flags &= ~WPF_RESTORETOMAXIMIZED;
    placement.showCmd = SW_SHOWNOACTIVATE;
    // Wine refuses another process's placement. Coming out of minimised, a window may go
    // back to maximised all the same; the second step takes it out of that too.
    auto showNormal = [&] {
        if (!SetWindowPlacement(hwnd, &placement)) ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    };
    showNormal();
    if (IsZoomed(hwnd)) showNormal();
    return true;
}

ClientPasses::ClientPasses() : shared(std::make_shared<Shared>()) {}

ClientPasses::~ClientPasses() {
    Stop();
}

bool ClientPasses::Start(int mode, HWND reportTo, UINT reportMessage, Places places,
                         std::vector<HWND> only) {
    const unsigned request = (++requests << 2) | (mode == fitPass ? askFit : askRestore);
    // from here on the running pass stops before its next window
    shared->request.store(request);
    auto* order =
        new PassOrder{shared, request, reportTo, reportMessage, std::move(places), std::move(only)};
    latest.reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ownedPassThread, order, 0, nullptr)));
    if (!latest) delete order; // nothing runs; clients stay as the last pass left them
    return static_cast<bool>(latest);
}

void ClientPasses::Stop() {
    shared->request.store((++requests << 2) | askStop);
}

bool ClientPasses::Ended() const {
    return !latest || WaitForSingleObject(latest.get(), 0) == WAIT_OBJECT_0;
}

bool ClientPasses::TakeReport(PassReport& report) {
    AcquireSRWLockExclusive(&shared->lock);
    const bool had = shared->reported;
    if (had) report = std::move(shared->report);
    // a client that closed during the pass failed its change for that alone: no refusal
    std::erase_if(report.refused,
                  [](const RefusedClient& client) { return !IsWindow(client.window); });
    shared->report = PassReport();
    shared->reported = false;
    ReleaseSRWLockExclusive(&shared->lock);
    return had;
}

CWString refusalNotice(const PassReport& report, const std::function<CWString(HWND)>& shownName) {
    CWString notice;
    for (const Refusal why : {Refusal::elevated, Refusal::refused}) {
        int count = 0;
        CWString names;
        for (const RefusedClient& client : report.refused) {
            if (client.why != why) continue;
            CWString name = shownName ? shownName(client.window) : CWString();
            if (!name.length()) name = client.name.length() ? client.name : CWString(L"A client");
            if (count++) names.append(L", ");
            names.append(name.upperCopy().c_str());
        }
        if (!count) continue;
        if (notice.length()) notice.append(L"\n");
        notice.append(names.c_str());
        const bool one = count == 1;
        if (why == Refusal::elevated) {
            notice.append(one ? L" RUNS" : L" RUN");
            // a copy started so takes this one's place (a second start otherwise ends at once)
            notice.append(L" AS ADMINISTRATOR: START SKARVEL AS ADMINISTRATOR TOO, IT TAKES THIS "
                          L"ONE'S PLACE AND CAN ");
            notice.append(report.mode == fitPass ? L"FIT " : L"RESTORE ");
            notice.append(one ? L"IT" : L"THEM");
        } else {
            notice.append(one ? L" REFUSED THE CHANGE AND WAS LEFT AS IT WAS"
                              : L" REFUSED THE CHANGE AND WERE LEFT AS THEY WERE");
        }
    }
    return notice;
}

unsigned __stdcall clientPassThread(void* mode) {
    clientPass(static_cast<int>(reinterpret_cast<intptr_t>(mode)), {});
    return 0;
}

void clientPass(int mode, const Places& places) {
    perMonitorAwareThread();
    PassRun run{mode, nullptr, 0, nullptr, nullptr, {}, nullptr};
    run.places = &places;
    if (!places.empty()) run.monitors = connectedMonitors();
    EnumWindows(clientWindowVisitor, reinterpret_cast<LPARAM>(&run));
}
