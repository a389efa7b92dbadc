// The running clients as the switcher's scan worker finds and names them, published under the
// one lock.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/game_client.h"
#include "core/handles.h"
#include "core/scale.h"
#include "core/wstring.h"

inline constexpr int maxClients = 20;
// The strip's height at 96 DPI.
inline constexpr int stripHeight = 17;
inline constexpr int clientNameUnits = 62; // 61 characters and the terminator

struct ClientSlot {
    wchar_t name[clientNameUnits]{};
    HWND window = nullptr;
};

// Windows ordered by handle value, as unsigned numbers.
struct HandleLess {
    bool operator()(HWND a, HWND b) const {
        return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
    }
};

// The last scan's result, written by the scan and read by the switcher, both inside
// clientLock. `generation` counts the publications that changed a slot, so a reader can
// tell a new list from the one it has already merged.
struct PublishedScan {
    PublishedScan() { InitializeCriticalSection(&clientLock); }
    ~PublishedScan() { DeleteCriticalSection(&clientLock); }
    PublishedScan(const PublishedScan&) = delete;
    PublishedScan& operator=(const PublishedScan&) = delete;

    CRITICAL_SECTION clientLock;
    ClientSlot publishedSlots[maxClients];
    unsigned generation = 0;
};

// A prefix, a 61-character name, one unit more so a name cut there is seen as cut (and a pair
// split by the cut is dropped), and the terminator.
inline constexpr int clientTitleUnits = clientTitlePrefixLength + clientNameUnits + 1;

// What a scan remembers of each client it listed: the window manager's copy of its title and
// the name the client's own answer gave. A client whose copy is unchanged is not asked again,
// so a client at rest gets no message from the program.
struct KnownTitle {
    HWND window = nullptr;
    wchar_t copy[clientTitleUnits]{};
    wchar_t name[clientNameUnits]{};
    int unanswered = 0; // asks in a row the client did not answer; a few more are made
};
struct KnownTitles {
    KnownTitle titles[maxClients];
    int count = 0;
    // The other top-level windows the scan walked past, in handle order: a window's class
    // never changes, so theirs is not read again. (A handle is not reused for a new window
    // until its reuse counter has gone round.)
    std::vector<HWND> others;
};

// The clients as the window manager shows them, read without a message to any of them (so no
// client can hold the reader up): the first 20 in enumeration order, each with the window
// manager's copy of its title.
struct QuietView {
    HWND windows[maxClients]{};
    wchar_t titles[maxClients][clientTitleUnits]{};
    int count = 0;
};
bool operator==(const QuietView& a, const QuietView& b);
// One walk into `view`. `others` holds the windows known not to be clients, in handle order,
// and is replaced by those this walk passed: at rest no class name is read.
void walkQuietly(QuietView& view, std::vector<HWND>& others);
// Whether `others` holds the window.
bool knownOther(const std::vector<HWND>& others, HWND window);
// Whether a window is of the client class; any other window is added to `others`, so its class
// is read once.
bool isClientWindowCached(HWND window, std::vector<HWND>& others);

// One scan: the first 20 client windows in enumeration order with their names, published
// into `to` when they differ from what it holds (the first publication always counts).
// `known` is the previous scan's titles, replaced by this one's. A set `stop` ends the walk
// early and publishes nothing.
void ScanClients(PublishedScan& to, KnownTitles& known, const std::atomic<bool>* stop = nullptr);
// The EnumWindows callback of a scan; `scan` is the scan's own list in the making.
BOOL CALLBACK ScanWindow(HWND hwnd, LPARAM scan);

// The switcher's one scan worker, alive as long as its window. It sleeps on an auto-reset
// event and runs one scan per wake. The worker and its owner share one block (the published
// list with its lock, the event, the flags); whichever lets go of it last frees it, so a
// worker stuck in a hung client's title read never touches freed memory and the owner never
// waits for it.
class ScanWorker {
  public:
    ScanWorker() = default;
    ScanWorker(const ScanWorker&) = delete;
    ScanWorker& operator=(const ScanWorker&) = delete;
    ~ScanWorker() { stop(); }

    // False, with nothing left behind, when the worker or its event cannot be made. Each scan
    // that ends posts `scanned` to `notify`, if there is one.
    bool start(HWND notify = nullptr, UINT scanned = 0);
    bool started() const { return shared != nullptr; }
    // Asks for one scan; false, doing nothing, while the previous one still runs.
    bool wake();
    bool scanning() const;
    // Whether the last scan left a client that did not answer and is to be asked again.
    bool asksAgain() const;
    // The scans asked for since the worker started.
    unsigned wakes() const { return wakeCount; }
    // The worker ends after the window it is reading; its handle is closed, never waited for.
    void stop();
    // What the worker last published; valid while started.
    PublishedScan& published();

  private:
    struct Shared;
    static unsigned __stdcall run(void* shared);
    static void letGo(Shared* shared);

    Shared* shared = nullptr;
    KernelHandle thread;
    unsigned wakeCount = 0;
};

// The name in a title: all but its first six characters, or the whole of a shorter title;
// at most 61 units, never ending in half a surrogate pair.
void nameFromTitle(const wchar_t* title, int length, wchar_t (&name)[clientNameUnits]);
// "Client 01" ... "Client 09", "Client 10" ...
CWString numberedName(int number);

// What the strip merges from: its scan worker, woken only when a walk that sends no client a
// message sees a client new, gone or retitled, or one yet to answer.
class ClientFeed {
  public:
    // Whether a walk finds a retitled client sooner than the worker may be woken again.
    static constexpr UINT wakePeriod = 90;

    // The list published since the last call, if any. Each scan that ends posts `scanned` to
    // `owner`. `soonMs` is set when a retitle waits for the next wake: look again then.
    bool Take(HWND owner, UINT scanned, ClientSlot (&slots)[maxClients], UINT& soonMs);
    bool IsClient(HWND window) { return isClientWindowCached(window, others); }
    void Stop() { scan.stop(); }
    unsigned Wakes() const { return scan.wakes(); }
    bool Scanning() const { return scan.scanning(); }

  private:
    ScanWorker scan;
    unsigned mergedGeneration = 0; // of the scan's publications, the last one taken
    QuietView quiet;               // the clients as the last walk saw them
    std::vector<HWND> others;      // top-level windows known not to be clients, in handle order
    ULONGLONG lastWake = 0;        // when the worker was last asked to read titles
};
