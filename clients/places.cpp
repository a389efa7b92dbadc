#include "clients/places.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "clients/client_list.h"
#include "core/game_client.h"
#include "core/handles.h"
#include "core/wstring.h"

namespace {

constexpr wchar_t placesKeyPath[] = L"Software\\Skarvel\\Places";
// Far beyond any screen, so a damaged number never sends a window off every monitor.
constexpr long maxCoordinate = 1 << 20;
constexpr size_t maxPlaceUnits = 1024;

// The device path of each display device's monitor, by the device's GDI name.
std::map<std::wstring, std::wstring> monitorPaths() {
    std::map<std::wstring, std::wstring> paths;
    UINT32 pathCount = 0, modeCount = 0;
    std::vector<DISPLAYCONFIG_PATH_INFO> pathInfo;
    std::vector<DISPLAYCONFIG_MODE_INFO> modeInfo;
    // the configuration may change between the two calls: asked again then
    for (LONG result = ERROR_INSUFFICIENT_BUFFER; result != ERROR_SUCCESS;) {
        if (result != ERROR_INSUFFICIENT_BUFFER ||
            GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &pathCount, &modeCount) !=
                ERROR_SUCCESS)
            return paths;
        pathInfo.resize(pathCount);
        modeInfo.resize(modeCount);
        result = QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &pathCount, pathInfo.data(), &modeCount,
                                    modeInfo.data(), nullptr);
    }
    for (UINT32 i = 0; i < pathCount; ++i) {
        DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
        source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
        source.header.size = sizeof(source);
        source.header.adapterId = pathInfo[i].sourceInfo.adapterId;
        source.header.id = pathInfo[i].sourceInfo.id;
        DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
        target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
        target.header.size = sizeof(target);
        target.header.adapterId = pathInfo[i].targetInfo.adapterId;
        target.header.id = pathInfo[i].targetInfo.id;
        if (DisplayConfigGetDeviceInfo(&source.header) != ERROR_SUCCESS ||
            DisplayConfigGetDeviceInfo(&target.header) != ERROR_SUCCESS ||
            !target.monitorDevicePath[0])
            continue;
        // a device shown on two monitors (a clone) is known by the first
        paths.emplace(source.viewGdiDeviceName, target.monitorDevicePath);
    }
    return paths;
}

struct MonitorWalk {
    std::map<std::wstring, std::wstring> paths;
    std::vector<MonitorArea> monitors;
};

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM walk) {
    auto& into = *reinterpret_cast<MonitorWalk*>(walk);
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    const auto path = into.paths.find(info.szDevice);
    std::wstring id;
    if (path != into.paths.end()) {
        id = path->second;
    } else {
        const RECT& r = info.rcMonitor;
        id = std::wstring(info.szDevice) + L"@" + std::to_wstring(r.left) + L"," +
             std::to_wstring(r.top) + L"," + std::to_wstring(r.right - r.left) + L"x" +
             std::to_wstring(r.bottom - r.top);
    }
    into.monitors.push_back({id, info.rcWork, monitor});
    return TRUE;
}

long clampedAxis(long at, long size, long low, long high) {
    if (size <= high - low) return std::clamp(at, low, high - size);
    return std::clamp(at, low, high - 1);
}

// A whole number in range and the space after it.
bool readNumber(const wchar_t*& at, long& number) {
    wchar_t* end = nullptr;
    if (!std::iswdigit(*at) && *at != L'-') return false;
    number = std::wcstol(at, &end, 10);
    if (end == at || *end != L' ' || number < -maxCoordinate || number > maxCoordinate)
        return false;
    at = end + 1;
    return true;
}

} // namespace

std::vector<MonitorArea> connectedMonitors() {
    MonitorWalk walk{monitorPaths(), {}};
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&walk));
    return walk.monitors;
}

const MonitorArea* monitorOf(const Place& place, const std::vector<MonitorArea>& monitors) {
    const auto found = std::find_if(monitors.begin(), monitors.end(),
                                    [&](const MonitorArea& m) { return m.id == place.monitor; });
    return found != monitors.end() ? &*found : nullptr;
}

POINT placedOn(const Place& place, const RECT& work, SIZE size) {
    const SIZE now{work.right - work.left, work.bottom - work.top};
    POINT offset = place.offset;
    if (now.cx != place.work.cx || now.cy != place.work.cy) {
        offset.x = MulDiv(offset.x, now.cx, place.work.cx);
        offset.y = MulDiv(offset.y, now.cy, place.work.cy);
    }
    return pulledIn({work.left + offset.x, work.top + offset.y}, size, work);
}

POINT pulledIn(POINT at, SIZE size, const RECT& work) {
    return {clampedAxis(at.x, size.cx, work.left, work.right),
            clampedAxis(at.y, size.cy, work.top, work.bottom)};
}

std::wstring placeText(const Place& place) {
    return L"1 " + std::to_wstring(place.offset.x) + L" " + std::to_wstring(place.offset.y) + L" " +
           std::to_wstring(place.work.cx) + L" " + std::to_wstring(place.work.cy) + L" " +
           place.monitor;
}

bool placeFromText(const std::wstring& text, Place& place) {
    if (text.size() > maxPlaceUnits || text.rfind(L"1 ", 0) != 0) return false;
    const wchar_t* at = text.c_str() + 2;
    long numbers[4]{};
    for (long& number : numbers)
        if (!readNumber(at, number)) return false;
    if (numbers[2] <= 0 || numbers[3] <= 0 || !*at) return false;
    place = {at, {numbers[0], numbers[1]}, {numbers[2], numbers[3]}};
    return true;
}

std::vector<std::wstring> rememberPlaces() {
    const std::vector<MonitorArea> monitors = connectedMonitors();
    Places found;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, clientClassName, nullptr)) != nullptr;) {
        wchar_t title[clientTitleUnits] = {};
        wchar_t name[clientNameUnits] = {};
        nameFromTitle(title, InternalGetWindowText(window, title, clientTitleUnits), name);
        // the login screen's title names nobody; a minimised window's place is no place
        if (!name[0] || wcscmp(name, clientBareTitle) == 0 || IsIconic(window) ||
            !IsWindowVisible(window))
            continue;
        const HMONITOR on = MonitorFromWindow(window, MONITOR_DEFAULTTONULL);
        const auto monitor = std::find_if(monitors.begin(), monitors.end(),
                                          [&](const MonitorArea& m) { return m.handle == on; });
        RECT r{};
        if (!on || monitor == monitors.end() || !GetWindowRect(window, &r)) continue;
        const RECT& work = monitor->work;
        found[name] = {monitor->id,
                       {r.left - work.left, r.top - work.top},
                       {work.right - work.left, work.bottom - work.top}};
    }
    std::vector<std::wstring> names;
    for (const auto& [name, place] : found) {
        storePlace(name, place);
        names.push_back(name);
    }
    return names;
}

std::wstring placesNotice(const std::vector<std::wstring>& names) {
    if (names.empty()) return L"NO PLACE REMEMBERED: NO CLIENT SHOWS A CHARACTER ON A MONITOR";
    std::wstring notice = std::to_wstring(names.size()) +
                          (names.size() == 1 ? L" PLACE REMEMBERED: " : L" PLACES REMEMBERED: ");
    for (size_t i = 0; i < names.size(); ++i)
        notice += (i ? L", " : L"") + std::wstring(CWString(names[i].c_str()).upperCopy().c_str());
    return notice;
}

Places loadPlaces() {
    Places places;
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, placesKeyPath, 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return places;
    wchar_t name[16384];
    std::vector<wchar_t> data(maxPlaceUnits + 1);
    for (DWORD index = 0;; ++index) {
        DWORD nameUnits = DWORD(std::size(name)), type = 0,
              bytes = DWORD(maxPlaceUnits * sizeof(wchar_t));
        const LONG read = RegEnumValueW(key.get(), index, name, &nameUnits, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (read == ERROR_NO_MORE_ITEMS) break;
        if (read != ERROR_SUCCESS || type != REG_SZ) continue;
        // the text up to its terminator, or the whole data when it has none
        const size_t units = bytes / sizeof(wchar_t);
        const std::wstring text(data.data(), std::find(data.data(), data.data() + units, L'\0'));
        Place place;
        if (placeFromText(text, place)) places.emplace(name, std::move(place));
    }
    return places;
}

void storePlace(const std::wstring& name, const Place& place) {
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, placesKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring text = placeText(place);
    RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD((text.size() + 1) * sizeof(wchar_t)));
}

void forgetPlaces() {
    RegDeleteTreeW(HKEY_CURRENT_USER, placesKeyPath);
}
