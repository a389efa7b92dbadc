// The switcher's model: running clients found by a scan worker, named, merged into records
// and put in display order.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/wstring.h"

inline constexpr int maxClients = 20;
inline constexpr int clientNameUnits = 62; // 61 characters and the terminator

struct ClientSlot {
    wchar_t name[clientNameUnits]{};
    HWND window = nullptr;
};

struct ClientRecord {
    CWString name;
    HWND window = nullptr;
    int width = 0; // of its cell
    int seen = 0;
    int number = -1; // -1 for the placeholder
};

// Windows ordered by handle value, as unsigned numbers.
struct HandleLess {
    bool operator()(HWND a, HWND b) const {
        return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
    }
};
using ClientRecords = std::map<HWND, ClientRecord, HandleLess>;
// Display order: names compared unit by unit as unsigned 16-bit values.
using ClientOrder = std::map<std::wstring, HWND>;
using MeasureCellFn = std::function<int(const CWString&)>;

// Published by the scan worker, read by the switcher, both inside clientLock.
extern ClientSlot publishedSlots[maxClients];
extern CRITICAL_SECTION clientLock;

unsigned __stdcall ScanClients(void*);
BOOL CALLBACK ScanWindow(HWND hwnd, LPARAM);

// The name in a title: all but its first six characters, or the whole of a shorter title;
// at most 61 units, never ending in half a surrogate pair.
void nameFromTitle(const wchar_t* title, int length, wchar_t (&name)[clientNameUnits]);
// "Client 01" ... "Client 09", "Client 10" ...
CWString numberedName(int number);

// Merges one published list into the records; true when a record came or was renamed.
bool mergeSlots(const ClientSlot (&slots)[maxClients], ClientRecords& records, int& clientCounter,
                const MeasureCellFn& measure);
// Drops records not seen in the last merge (never `self`) and marks the rest unseen again.
bool sweepRecords(ClientRecords& records, HWND self);
// Keeps the "Skarvel" entry under `self` while "Keep switcher open" is on and no client runs.
bool updatePlaceholder(ClientRecords& records, HWND self, bool keepOpen,
                       const MeasureCellFn& measure);
void rebuildOrder(const ClientRecords& records, ClientOrder& order);

// Width of the strip: every record counts, even one whose name another record shows.
int stripWidthOf(const ClientRecords& records);
// Cell widths in display order.
std::vector<int> displayWidths(const ClientOrder& order, const ClientRecords& records);
// Cells side by side sharing their border column, rows 1 to 15.
std::vector<RECT> cellRects(const std::vector<int>& widths);
// The cell under a point: hit cells start one pixel left of the drawn ones and span the
// strip's height. -1 for none.
int cellAt(POINT point, const std::vector<int>& widths, const RECT& client);
