#include "clients/client_list.h"

#include <process.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <utility>

#include "core/game_client.h"

namespace {

// A hung client holds up the scan for this long, not forever.
constexpr UINT titleTimeoutMs = 500;

// One walk in the making, on the scanning thread's stack: a worker left behind by its
// window can still be finishing a walk while the next window's worker makes its own.
struct ScanInProgress {
    ClientSlot slots[maxClients];
    int count = 0;
    const std::atomic<bool>* stop = nullptr;
    const KnownTitles* known = nullptr; // the last scan's
    KnownTitles seen;                   // this scan's
};

const KnownTitle* findKnown(const KnownTitles* known, HWND window) {
    if (!known) return nullptr;
    for (int i = 0; i < known->count; ++i)
        if (known->titles[i].window == window) return &known->titles[i];
    return nullptr;
}

// A client busy when first asked is asked again at the next few scans; one that never
// answers (hung, or above the program's rights) keeps the window manager's copy as its name.
constexpr int maxUnanswered = 3;

// The client's own answer, bounded in time and in length, or else the window manager's copy;
// false when the client did not answer.
bool askName(HWND hwnd, const wchar_t (&copy)[clientTitleUnits], wchar_t (&name)[clientNameUnits]) {
    wchar_t title[clientTitleUnits] = {};
    DWORD_PTR copied = 0;
    const bool answered =
        SendMessageTimeoutW(hwnd, WM_GETTEXT, clientTitleUnits, reinterpret_cast<LPARAM>(title),
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, titleTimeoutMs, &copied) != 0;
    if (!answered) {
        wmemcpy(title, copy, clientTitleUnits);
        copied = wcslen(title);
    }
    const int length =
        copied < DWORD_PTR(clientTitleUnits) ? static_cast<int>(copied) : clientTitleUnits - 1;
    nameFromTitle(title, length, name);
    return answered;
}

bool sameSlot(const ClientSlot& a, const ClientSlot& b) {
    return a.window == b.window && wcscmp(a.name, b.name) == 0;
}

} // namespace

void nameFromTitle(const wchar_t* title, int length, wchar_t (&name)[clientNameUnits]) {
    const wchar_t* from =
        length > clientTitlePrefixLength ? title + clientTitlePrefixLength : title;
    int count = length > clientTitlePrefixLength ? length - clientTitlePrefixLength : length;
    if (count > clientNameUnits - 1) {
        count = clientNameUnits - 1;
        if (from[count - 1] >= 0xD800 && from[count - 1] <= 0xDBFF) --count; // a lone high half
    }
    wmemcpy(name, from, static_cast<size_t>(count));
    name[count] = L'\0';
}

CWString numberedName(int number) {
    CWString name(L"Client ");
    if (number >= 0 && number < 10) name.append(L"0");
    name.appendNumber(number);
    return name;
}

BOOL CALLBACK ScanWindow(HWND hwnd, LPARAM scanParam) {
    auto& scan = *reinterpret_cast<ScanInProgress*>(scanParam);
    const KnownTitle* before = findKnown(scan.known, hwnd);
    bool client = before != nullptr;
    if (!client && !(scan.known && knownOther(scan.known->others, hwnd))) {
        wchar_t className[classNameBufferSize];
        client = GetClassNameW(hwnd, className, classNameBufferSize) && isClientClass(className);
    }
    if (!client) {
        scan.seen.others.push_back(hwnd);
    } else {
        ClientSlot& slot = scan.slots[scan.count];
        KnownTitle& now = scan.seen.titles[scan.count];
        slot.window = now.window = hwnd;
        // the window manager's copy: no message to the game, so it cannot hang
        InternalGetWindowText(hwnd, now.copy, clientTitleUnits);
        const bool same = before && wcscmp(before->copy, now.copy) == 0;
        if (same && (before->unanswered == 0 || before->unanswered >= maxUnanswered)) {
            wmemcpy(now.name, before->name, clientNameUnits);
            now.unanswered = before->unanswered;
        } else if (askName(hwnd, now.copy, now.name)) { // new, retitled or not yet answered
            now.unanswered = 0;
        } else {
            now.unanswered = same ? before->unanswered + 1 : 1;
        }
        wmemcpy(slot.name, now.name, clientNameUnits);
        scan.seen.count = ++scan.count;
    }
    if (scan.stop && *scan.stop) return FALSE;
    return scan.count < maxClients;
}

bool knownOther(const std::vector<HWND>& others, HWND window) {
    return std::binary_search(others.begin(), others.end(), window, HandleLess());
}

bool operator==(const QuietView& a, const QuietView& b) {
    if (a.count != b.count) return false;
    for (int i = 0; i < a.count; ++i)
        if (a.windows[i] != b.windows[i] || wcscmp(a.titles[i], b.titles[i]) != 0) return false;
    return true;
}

namespace {

struct QuietWalk {
    QuietView& view;
    const std::vector<HWND>& known;
    std::vector<HWND> others;
};

BOOL CALLBACK walkWindow(HWND window, LPARAM param) {
    auto& walk = *reinterpret_cast<QuietWalk*>(param);
    bool client = false;
    if (!knownOther(walk.known, window)) {
        wchar_t className[classNameBufferSize];
        client = GetClassNameW(window, className, classNameBufferSize) && isClientClass(className);
    }
    if (!client) {
        walk.others.push_back(window);
        return TRUE;
    }
    const int i = walk.view.count++;
    walk.view.windows[i] = window;
    InternalGetWindowText(window, walk.view.titles[i], clientTitleUnits);
    return walk.view.count < maxClients;
}

} // namespace

void walkQuietly(QuietView& view, std::vector<HWND>& others) {
    view.count = 0;
    QuietWalk walk{view, others, {}};
    walk.others.reserve(others.size() + 16);
    EnumWindows(walkWindow, reinterpret_cast<LPARAM>(&walk));
    std::sort(walk.others.begin(), walk.others.end(), HandleLess());
    others = std::move(walk.others);
}

void ScanClients(PublishedScan& to, KnownTitles& known, const std::atomic<bool>* stop) {
    ScanInProgress scan;
    scan.stop = stop;
    scan.known = &known;
    scan.seen.others.reserve(known.others.size() + 16);
    EnumWindows(ScanWindow, reinterpret_cast<LPARAM>(&scan));
    if (stop && *stop) return;
    std::sort(scan.seen.others.begin(), scan.seen.others.end(), HandleLess());
    known = std::move(scan.seen);
    LockGuard guard(to.clientLock);
    bool same = true;
    for (int i = 0; i < maxClients && same; ++i)
        same = sameSlot(scan.slots[i], to.publishedSlots[i]);
    if (same && to.generation != 0) return; // nothing new: the reader need not merge
    for (int i = 0; i < maxClients; ++i)
        to.publishedSlots[i] = scan.slots[i];
    ++to.generation;
}

struct ScanWorker::Shared {
    PublishedScan result;
    KnownTitles known; // the worker's own
    KernelHandle wakeEvent{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    HWND notify = nullptr;
    UINT scanned = 0;
    std::atomic<bool> stopping{false};
    std::atomic<bool> asksAgain{false};
    std::atomic<bool> scanning{false}; // set by the owner when it wakes the worker
    std::atomic<int> holders{2};       // the owner and the worker
};

void ScanWorker::letGo(Shared* shared) {
    if (--shared->holders == 0) delete shared;
}

unsigned __stdcall ScanWorker::run(void* arg) {
    auto* shared = static_cast<Shared*>(arg);
    while (WaitForSingleObject(shared->wakeEvent.get(), INFINITE) == WAIT_OBJECT_0 &&
           !shared->stopping) {
        ScanClients(shared->result, shared->known, &shared->stopping);
        bool again = false;
        for (int i = 0; i < shared->known.count; ++i)
            again = again || (shared->known.titles[i].unanswered > 0 &&
                              shared->known.titles[i].unanswered < maxUnanswered);
        shared->asksAgain = again;
        shared->scanning = false;
        // the owner merges at once rather than at its next look
        if (shared->notify && !shared->stopping)
            PostMessageW(shared->notify, shared->scanned, 0, 0);
    }
    letGo(shared);
    return 0;
}

bool ScanWorker::start(HWND notify, UINT scanned) {
    stop();
    auto* made = new (std::nothrow) Shared;
    if (!made) return false;
    made->notify = notify;
    made->scanned = scanned;
    if (made->wakeEvent)
        thread.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, run, made, 0, nullptr)));
    if (!thread) {
        delete made; // no worker holds it
        return false;
    }
    shared = made;
    return true;
}

bool ScanWorker::wake() {
    if (!shared) return false;
    // the flag, not the event, says whether a scan runs: an event set during a scan would
    // start another one at once
    bool idle = false;
    if (!shared->scanning.compare_exchange_strong(idle, true)) return false;
    ++wakeCount;
    SetEvent(shared->wakeEvent.get());
    return true;
}

bool ScanWorker::asksAgain() const {
    return shared && shared->asksAgain;
}

bool ScanWorker::scanning() const {
    return shared && shared->scanning;
}

void ScanWorker::stop() {
    if (!shared) return;
    shared->stopping = true;
    SetEvent(shared->wakeEvent.get());
    thread.reset();
    letGo(std::exchange(shared, nullptr));
}

PublishedScan& ScanWorker::published() {
    return shared->result;
}

bool ClientFeed::Take(HWND owner, UINT scanned, ClientSlot (&slots)[maxClients], UINT& soonMs) {
    // a worker that could not start is tried again at the next look
    if (!scan.started() && IsWindow(owner) && scan.start(owner, scanned)) {
        mergedGeneration = 0;
        quiet = QuietView();
    }
    if (!scan.started()) return false;
    // The walk runs here; the worker is woken only to ask a client that is new, retitled or
    // yet to answer. A change seen while the worker is busy is seen again after it ends, since
    // the worker's end brings another look.
    QuietView now;
    walkQuietly(now, others);
    if (!(now == quiet) || scan.asksAgain()) {
        // a client that rewrites its title all the time is asked no more often than the short
        // period allows; a client that comes or goes is asked at once
        const bool sameClients = now.count == quiet.count &&
                                 std::equal(now.windows, now.windows + now.count, quiet.windows);
        const ULONGLONG sinceWake = GetTickCount64() - lastWake;
        if (sameClients && sinceWake < wakePeriod) {
            soonMs = UINT(wakePeriod - sinceWake);
        } else if (scan.wake()) {
            quiet = now;
            lastWake = GetTickCount64();
        }
    }
    PublishedScan& last = scan.published();
    LockGuard guard(last.clientLock);
    if (last.generation == mergedGeneration) return false;
    mergedGeneration = last.generation;
    std::copy(std::begin(last.publishedSlots), std::end(last.publishedSlots), slots);
    return true;
}

bool isClientWindowCached(HWND window, std::vector<HWND>& others) {
    if (knownOther(others, window)) return false;
    wchar_t className[classNameBufferSize];
    if (GetClassNameW(window, className, classNameBufferSize) && isClientClass(className))
        return true;
    // its class is read once; the next walk forgets it if it is gone
    others.insert(std::upper_bound(others.begin(), others.end(), window, HandleLess()), window);
    return false;
}
