// The switcher's model: the running clients' records, their display order with the player's
// own order, their states, a cell carried along the strip, and the strip's geometry. Plain
// data and functions, no window: the strip window translates messages into calls on it.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "clients/client_list.h"
#include "clients/client_pass.h"
#include "core/scale.h"
#include "core/wstring.h"

struct ClientRecord {
    CWString name;
    HWND window = nullptr;
    int width = 0; // of its cell
    int seen = 0;
    int number = -1;       // -1 for the placeholder
    bool numbered = false; // named after its number: it shows the login screen
    bool minimised = false;
    bool hung = false;       // Windows calls it not answering
    bool outOfReach = false; // it refused the last pass that came to it
};

using ClientRecords = std::map<HWND, ClientRecord, HandleLess>;
// The clients of the cells, left to right.
using ClientOrder = std::vector<HWND>;
using MeasureCellFn = std::function<int(const CWString&)>;
// Character names in the player's order, as stored.
using PlayerOrder = std::vector<std::wstring>;

// Merges one published list into the records; true when a record came or was renamed.
bool mergeSlots(const ClientSlot (&slots)[maxClients], ClientRecords& records, int& clientCounter,
                const MeasureCellFn& measure);
// Drops records not seen in the last merge (never `self`) and marks the rest unseen again.
bool sweepRecords(ClientRecords& records, HWND self);
// Keeps the "Skarvel" entry under `self` while "Keep switcher open" is on and no client runs.
bool updatePlaceholder(ClientRecords& records, HWND self, bool keepOpen,
                       const MeasureCellFn& measure);

// Named clients whose names the player ordered, in that order; then the other named ones by
// name, unit by unit; then the login screen's, by number; then the placeholder. Namesakes
// stand side by side, the one seen first (the older window) first.
ClientOrder displayOrder(const ClientRecords& records, const PlayerOrder& playerOrder);
// How many cells at the front of the order show characters: only these can be carried.
size_t namedCells(const ClientOrder& order, const ClientRecords& records);

inline constexpr size_t maxOrderedNames = 100;
// The player's order after a drag left the name at `index` of `shown` (the named cells' names
// as the strip now shows them) there: names shown and not yet stored are appended in the order
// shown, then the dragged name goes just before the next other name shown, or just after the
// one before it at the end. Beyond 100 names, the last one not shown goes.
PlayerOrder orderAfterDrag(PlayerOrder stored, const std::vector<std::wstring>& shown,
                           size_t index);

// The refused clients signed, the changed ones cleared; true when a sign came or went.
bool followPassReport(ClientRecords& records, const PassReport& report);

// Width of the strip: every record counts.
int stripWidthOf(const ClientRecords& records, Scale scale = {});
// Cell widths in display order.
std::vector<int> displayWidths(const ClientOrder& order, const ClientRecords& records);
// Cells side by side sharing their border column, inside a one-line border of a strip
// `stripHeight` high (rows 1 to 15 at 96 DPI).
std::vector<RECT> cellRects(const std::vector<int>& widths, Scale scale = {});
// The cell under a point: hit cells start one line left of the drawn ones and span the
// strip's height. -1 for none.
int cellAt(POINT point, const std::vector<int>& widths, const RECT& client, Scale scale = {});

// The switcher menu's items for the current settings and lock state, as (text, command).
struct SwitcherMenuEntry {
    const wchar_t* text;
    int command;
};
std::vector<SwitcherMenuEntry> switcherMenuEntries(bool opensClients, bool locked);
// The strip's records in display order, and the cell the player may be carrying.
class SwitcherModel {
  public:
    ClientRecords records;
    ClientOrder order;
    int clientCounter = 0;

    void Rebuild(const PlayerOrder& playerOrder) { order = displayOrder(records, playerOrder); }
    HWND ClientAt(POINT point, const RECT& client, Scale scale) const;

    // A press on a client's cell at `x`: a named one may be carried from here.
    void Press(HWND client, int x);
    // The pointer at `x` with the button held. Once it went `slop` sideways, the cell follows
    // it, changing places with each neighbour whose middle it passes. True when cells moved.
    bool DragTo(int x, int slop, Scale scale);
    bool Carrying() const { return dragged != nullptr && sideways; }
    HWND Dragged() const { return dragged; }
    // The drag ends: true, with the order to store, when the cell stands elsewhere.
    bool Release(const PlayerOrder& stored, PlayerOrder& changed);

  private:
    HWND dragged = nullptr;
    int pressX = 0;
    bool sideways = false;
    bool moved = false;
};
