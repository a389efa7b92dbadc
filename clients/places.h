// Where each character's client goes for "Set clients" and "Restore": remembered per character
// name, relative to a monitor's work area, kept under HKCU "Software\Skarvel\Places".
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct Place {
    std::wstring monitor; // the monitor's identity
    POINT offset{};       // of the window's top-left from the work area's, in physical pixels
    SIZE work{};          // the work area's size then
};
// Character names as the registry compares value names: ignoring case, ordinally.
struct NameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
               CSTR_LESS_THAN;
    }
};
// By character name.
using Places = std::map<std::wstring, Place, NameLess>;

// A connected monitor: its identity and work area in physical pixels.
struct MonitorArea {
    std::wstring id;
    RECT work{};
    HMONITOR handle = nullptr;
};

// The monitors connected now. A monitor is known by its device path, which names the monitor on
// its connector and so follows it across restarts, a rearranged desktop and replugging into the
// same port; where the system tells none, by its display device's name and its rectangle.
std::vector<MonitorArea> connectedMonitors();
// The remembered monitor among them, or null when it is not connected.
const MonitorArea* monitorOf(const Place& place, const std::vector<MonitorArea>& monitors);

// The top-left of a window of `size` placed on `work`: the remembered offset, scaled by the
// ratio of the work areas' sizes when that changed, then pulled in so the whole window lies
// inside where it fits, and its top-left where it does not.
POINT placedOn(const Place& place, const RECT& work, SIZE size);
POINT pulledIn(POINT at, SIZE size, const RECT& work);

// A place as stored, "1 <dx> <dy> <work width> <work height> <monitor>", and back. A text that
// is not exactly that (another version, a number out of range, no monitor) is no place.
std::wstring placeText(const Place& place);
bool placeFromText(const std::wstring& text, Place& place);

// Remembers the place of each client that shows a character, is not minimised and lies on a
// monitor; any other keeps what was stored for it. The names remembered, in name order.
std::vector<std::wstring> rememberPlaces();
// The player's word on what was remembered.
std::wstring placesNotice(const std::vector<std::wstring>& names);

// The stored places; a value that is damaged or of another type is left out.
Places loadPlaces();
void storePlace(const std::wstring& name, const Place& place);
void forgetPlaces();
