#include "clients/client_pass.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <process.h>
#include <vector>

#include "core/game_client.h"
#include "ui/user32.h"

// What every pass shares: the newest request and the windows being handled now.
struct ClientPasses::Shared {
    // the newest request: its number times four plus what it asks for
    std::atomic<unsigned> request{0};
    // held only for a look at `busy`, never across a call into a client
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE freed = CONDITION_VARIABLE_INIT;
    std::vector<HWND> busy;
};

namespace {

// What a request asks for, in its two low bits.
constexpr unsigned askRestore = 0, askFit = 1, askStop = 2;

// Without the per-DPI metrics (before Windows 10 1607) the restored frame comes from the
// system's one set, as before there was any other.
int metric(int index, UINT dpi) {
    return dpi ? systemMetricsAtDpi(index, dpi) : GetSystemMetrics(index);
}

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

// Caption, frame, place and size, and nothing else: the client is never activated, keeps
// its place in the z-order and stays as visible or hidden as it was.
void fitOrRestore(HWND hwnd, int mode) {
    // Every client in its own awareness: a DPI-unaware one in the 96-DPI pixels it renders
    // at, an aware one in physical pixels, so no size is scaled and rounded on its way.
    const AwarenessOfWindow asTheClient(hwnd);

    // un-minimise or un-maximise first, so the sizes below are the normal ones
    if (!showNormalWithoutActivating(hwnd)) return;

    RECT client{};
    if (!GetClientRect(hwnd, &client)) return;
    const SIZE clientSize{client.right, client.bottom};

    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);

    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    // as visible or hidden as it was, and still disabled under the game's own modal dialog
    const LONG kept = WS_VISIBLE | WS_DISABLED;
    RECT bounds{};
    if (mode == fitPass) {
        if (!hasCaption(style)) return;
        SetWindowLongW(hwnd, GWL_STYLE, (fittedStyle & ~kept) | (style & kept));
        SetWindowLongW(hwnd, GWL_EXSTYLE, fittedExStyle);
        bounds = fittedBounds(monitor.rcWork, clientSize);
    } else {
        if (hasCaption(style)) return;
        SetWindowLongW(hwnd, GWL_STYLE, (restoredStyle & ~kept) | (style & kept));
        SetWindowLongW(hwnd, GWL_EXSTYLE, restoredExStyle);
        // the frame the client will draw: at its own DPI, which may not be the program's
        const UINT dpi = windowDpi && systemMetricsAtDpi ? windowDpi(hwnd) : 0;
        bounds = restoredBounds(monitor.rcWork, clientSize, metric(SM_CXDLGFRAME, dpi),
                                metric(SM_CYDLGFRAME, dpi), metric(SM_CYCAPTION, dpi));
    }
    // the new frame takes effect in this one call, so the client area keeps its size
    SetWindowPos(hwnd, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                 bounds.bottom - bounds.top,
                 SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
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
    if (!run.shared) {
        fitOrRestore(hwnd, run.mode);
        return TRUE;
    }
    const WindowClaim claim(run, hwnd);
    if (!claim.held) return FALSE;
    fitOrRestore(hwnd, run.mode);
    return TRUE;
}

// A pass of the owner; ends when done or superseded.
struct PassOrder {
    std::shared_ptr<ClientPasses::Shared> shared;
    unsigned request;
};

unsigned __stdcall ownedPassThread(void* order) {
    const std::unique_ptr<PassOrder> own(static_cast<PassOrder*>(order));
    perMonitorAwareThread();
    PassRun run{(own->request & 3) == askFit ? fitPass : restorePass, own->shared.get(),
                own->request};
    EnumWindows(clientWindowVisitor, reinterpret_cast<LPARAM>(&run));
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
    shared->request.store((++requests << 2) | askStop);
}

void ClientPasses::Start(int mode) {
    const unsigned request = (++requests << 2) | (mode == fitPass ? askFit : askRestore);
    // from here on the running pass stops before its next window
    shared->request.store(request);
    auto* order = new PassOrder{shared, request};
    latest.reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ownedPassThread, order, 0, nullptr)));
    if (!latest) delete order; // nothing runs; clients stay as the last pass left them
}

bool ClientPasses::Ended() const {
    return !latest || WaitForSingleObject(latest.get(), 0) == WAIT_OBJECT_0;
}

unsigned __stdcall clientPassThread(void* mode) {
    perMonitorAwareThread();
    PassRun run{static_cast<int>(reinterpret_cast<intptr_t>(mode)), nullptr, 0};
    EnumWindows(clientWindowVisitor, reinterpret_cast<LPARAM>(&run));
    return 0;
}
