// "Set clients" and "Restore": one pass over all top-level windows on a worker thread.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "clients/places.h"
#include "core/handles.h"
#include "core/wstring.h"

enum PassMode : int { restorePass = 0, fitPass = 1 };

// No caption or frame; the window keeps its place in the z-order.
inline constexpr LONG fittedStyle =
    0x140A0000; // WS_VISIBLE|WS_CLIPSIBLINGS|WS_SYSMENU|WS_MINIMIZEBOX
inline constexpr LONG fittedExStyle = 0;
// A fixed-frame popup with caption.
inline constexpr LONG restoredStyle = static_cast<LONG>(0x94CA0000u);
inline constexpr LONG restoredExStyle = WS_EX_WINDOWEDGE;

// Both WS_BORDER and WS_DLGFRAME.
bool hasCaption(LONG style);

// Outer rectangle of a fitted client: the work area's corner, the old client size.
RECT fittedBounds(const RECT& workArea, SIZE clientSize);
// Outer rectangle of a restored client: the frame and caption, at the client's own DPI, are
// added around the client size, so the client area keeps its size.
RECT restoredBounds(const RECT& workArea, SIZE clientSize, int frameX, int frameY, int caption);

// Why a client kept the frame it had.
enum class Refusal { elevated, refused };

// A client a pass meant to change and could not; it was left exactly as it was.
struct RefusedClient {
    HWND window = nullptr;
    Refusal why = Refusal::refused;
    CWString name; // from its title, as the strip names it
};

// What one command's pass did: handed to the program's window when the pass ends.
struct PassReport {
    int mode = restorePass;
    std::vector<RefusedClient> refused;
    std::vector<HWND> changed;
};

// The player's notice of the clients a pass left and why, one line per reason, naming them;
// empty when it left none. `shownName` gives the strip's name of a window, or an empty text.
CWString refusalNotice(const PassReport& report,
                       const std::function<CWString(HWND)>& shownName = nullptr);

// Takes another program's window out of minimised or maximised to its normal size and place,
// without activating it or changing its place in the z-order; a minimised window that was
// maximised before comes back at its normal size too. False when it has gone, or when it is
// hidden and minimised or maximised: it is left as it is rather than shown.
bool showNormalWithoutActivating(HWND hwnd);

// The program's one owner of passes, whichever menu asked. A newer pass supersedes the
// running one, which stops before its next window; no two passes handle the same window at
// once, and the newest handles each window after any older one is done with it. Nothing is
// waited for on the calling thread and no pass is ever terminated.
class ClientPasses {
  public:
    ClientPasses();
    // A pass still running stops before its next window and ends on its own.
    ~ClientPasses();
    ClientPasses(const ClientPasses&) = delete;
    ClientPasses& operator=(const ClientPasses&) = delete;

    // When the pass has been through every window, its report is kept and `reportTo` is
    // posted `reportMessage`; a pass superseded before the end reports nothing. A client whose
    // character has a place goes there rather than to the corner. With `only`, the pass
    // handles those clients and no other.
    // False when no worker could start: nothing runs, and nothing will report.
    bool Start(int mode, HWND reportTo = nullptr, UINT reportMessage = 0, Places places = {},
               std::vector<HWND> only = {});
    // The running pass stops before its next window and reports nothing.
    void Stop();
    // True once the latest pass has ended (or none was started).
    bool Ended() const;
    // The report of the last pass that went to the end, once; empty after that. Clients that
    // have closed since are not among the refused.
    bool TakeReport(PassReport& report);

    struct Shared;

  private:
    std::shared_ptr<Shared> shared;
    KernelHandle latest;
    unsigned requests = 0;
};

// One whole pass on the calling thread that nothing supersedes (benchmarks and tests).
// Runs per-monitor aware (where Windows has per-thread awareness) and handles each client in
// the client's own awareness, so sizes are exact on scaled displays for both kinds of game.
unsigned __stdcall clientPassThread(void* mode);
// The same with places.
void clientPass(int mode, const Places& places);
