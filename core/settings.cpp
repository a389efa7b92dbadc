#include "core/settings.h"

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/game_client.h"
#include "core/handles.h"
#include "core/scale.h"

Settings settings;

namespace {

constexpr wchar_t settingsKeyPath[] = L"Software\\Skarvel";
constexpr wchar_t runKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t runValueName[] = L"Skarvel";

constexpr wchar_t showSwitcherValue[] = L"Client Switcher";
constexpr wchar_t keepSwitcherOpenValue[] = L"Keep switcher open";
constexpr wchar_t switcherOpensClientsValue[] = L"Use switcher to open clients";
constexpr wchar_t loadAtStartupValue[] = L"Load at windows startup";
constexpr wchar_t fitNewClientsValue[] = L"Fit new clients";
constexpr wchar_t switcherXValue[] = L"Switcher Position x";
constexpr wchar_t switcherYValue[] = L"Switcher Position y";
// 1: the position is in the screen's own pixels, as this version stores it. A DPI would be
// the wrong mark: such pixels stay right whatever the scale later becomes, and a DPI stored
// beside them would invite converting them again.
constexpr wchar_t switcherPhysicalValue[] = L"Switcher Position physical";
constexpr wchar_t clientPathValue[] = L"QOR Online path";
constexpr wchar_t switchKeysValue[] = L"Switch keys";
constexpr wchar_t nextClientKeyValue[] = L"Next client key";
constexpr wchar_t previousClientKeyValue[] = L"Previous client key";
constexpr wchar_t lastClientKeyValue[] = L"Last client key";
constexpr wchar_t placeKeysValue[] = L"Place keys";
constexpr wchar_t clientOrderValue[] = L"Client order";
constexpr size_t maxOrderUnits = 64 * 1024 / sizeof(wchar_t);
constexpr size_t maxOrderNames = 100;
constexpr size_t maxNameUnits = 61; // a longer name is never a character's
constexpr DWORD knownModifiers = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;

LONG createUserKey(const wchar_t* path, RegKey& key, DWORD* disposition = nullptr) {
    wchar_t noClass[] = L"";
    return RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, noClass, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key.put(), disposition);
}

void writeNumber(HKEY key, const wchar_t* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

// An empty text is stored without data, as it always has been.
void writeText(HKEY key, const wchar_t* name, const wchar_t* text, size_t length) {
    if (length == 0) {
        RegSetValueExW(key, name, 0, REG_SZ, nullptr, 0);
        return;
    }
    const auto bytes = static_cast<DWORD>((length + 1) * sizeof(wchar_t));
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

void writeText(HKEY key, const wchar_t* name, const CWString& text) {
    writeText(key, name, text.c_str(), static_cast<size_t>(text.length()));
}

// Anything but exactly four bytes is unreadable: a shorter value would leave stale bytes.
bool readNumber(HKEY key, const wchar_t* name, DWORD& data) {
    DWORD size = sizeof(data);
    return RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) ==
               ERROR_SUCCESS &&
           size == sizeof(data);
}

// False when the value could not be read and the fallback was written in its place.
template <class Field>
bool loadNumber(HKEY key, const wchar_t* name, Field& field, Field fallback) {
    static_assert(sizeof(Field) == sizeof(DWORD));
    DWORD data = 0;
    if (readNumber(key, name, data)) {
        field = static_cast<Field>(data);
        return true;
    }
    field = fallback;
    writeNumber(key, name, static_cast<DWORD>(fallback));
    return false;
}

void writePosition(HKEY key) {
    writeNumber(key, switcherXValue, static_cast<DWORD>(settings.switcherX));
    writeNumber(key, switcherYValue, static_cast<DWORD>(settings.switcherY));
    writeNumber(key, switcherPhysicalValue, 1);
}

BOOL CALLBACK addMonitorScale(HMONITOR monitor, HDC, RECT*, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    auto& all = *reinterpret_cast<std::vector<MonitorScale>*>(list);
    const MonitorScale one{info.rcMonitor, Scale::ofMonitor(monitor).dpi};
    // the primary first
    all.insert(info.dwFlags & MONITORINFOF_PRIMARY ? all.begin() : all.end(), one);
    return TRUE;
}

// An unmarked position was stored by an earlier, DPI-unaware version: converted once, and
// marked so that nothing converts it again (at 96 DPI too, or a later change of scale would).
// Only values read are converted: a default written back in place of an unreadable one is
// this version's own. A value the conversion leaves as it is stays untouched.
void convertUnawarePosition(HKEY key, bool xRead, bool yRead) {
    DWORD physical = 0;
    if (readNumber(key, switcherPhysicalValue, physical) && physical != 0) return;
    // the scale Windows showed the unaware strip at: its monitor's now, which is not the
    // system's DPI once the scale was changed without signing out
    std::vector<MonitorScale> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitorScale, reinterpret_cast<LPARAM>(&monitors));
    const UINT dpi = unawarePositionDpi({settings.switcherX, settings.switcherY}, monitors);
    const POINT at = positionFromUnaware({settings.switcherX, settings.switcherY}, dpi);
    if (xRead && at.x != settings.switcherX) {
        settings.switcherX = at.x;
        writeNumber(key, switcherXValue, static_cast<DWORD>(settings.switcherX));
    }
    if (yRead && at.y != settings.switcherY) {
        settings.switcherY = at.y;
        writeNumber(key, switcherYValue, static_cast<DWORD>(settings.switcherY));
    }
    writeNumber(key, switcherPhysicalValue, 1);
}

// The key values are newer than the rest and are held to their type: anything but a four-byte
// REG_DWORD reads as the default. Nothing is written here, so a user who never turns keys on
// finds the store as it always was; the next save of the keys writes them right.
DWORD readKeyValue(HKEY key, const wchar_t* name, DWORD fallback) {
    DWORD type = REG_NONE, data = 0, size = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(data))
        return data;
    return fallback;
}

} // namespace

bool isModifierKey(DWORD vk) {
    switch (vk) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_LMENU:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
        return true;
    default:
        return false;
    }
}

namespace {

// Any length, with or without a terminating NUL; the text ends at the first NUL. The type is
// not looked at, as it never was: whatever loaded before loads the same.
bool readText(HKEY key, const wchar_t* name, CWString& text) {
    std::vector<wchar_t> buffer;
    for (;;) {
        DWORD size = 0;
        if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
            return false;
        // one unit more than the data, so there is always a NUL after it
        buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        const LONG status = RegQueryValueExW(key, name, nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (status == ERROR_MORE_DATA) continue; // it grew between the two calls
        if (status != ERROR_SUCCESS) return false;
        buffer.resize(got / sizeof(wchar_t)); // an odd last byte is not a character
        buffer.push_back(L'\0');
        text.assign(buffer.data());
        return true;
    }
}

// The full path, quoted: the command line may be relative or hold unquoted spaces.
std::wstring startupCommand() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD copied =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (copied == 0) return {};
        if (copied < path.size()) {
            path.resize(copied);
            return L"\"" + path + L"\"";
        }
        path.resize(path.size() * 2); // filled completely: it may have been cut
    }
}

} // namespace

DWORD cleanKey(DWORD stored) {
    const DWORD vk = LOWORD(stored), modifiers = HIWORD(stored) & knownModifiers;
    // virtual-key codes run from 1 to 254; an input method's and a typed character's stand-ins
    // are no keys
    if (vk == 0 || vk > 0xFE || vk == VK_PROCESSKEY || vk == VK_PACKET || isModifierKey(vk))
        return 0;
    if (vk == VK_F12 && modifiers == 0) return 0; // the debugger's, whether one runs or not
    return storedKey(vk, modifiers);
}

DWORD cleanPlaceKeys(DWORD stored) {
    return stored & knownModifiers;
}

namespace {

void loadSwitchKeys(HKEY key) {
    const Settings defaults;
    settings.switchKeys = readKeyValue(key, switchKeysValue, defaults.switchKeys);
    settings.nextClientKey =
        cleanKey(readKeyValue(key, nextClientKeyValue, defaults.nextClientKey));
    settings.previousClientKey =
        cleanKey(readKeyValue(key, previousClientKeyValue, defaults.previousClientKey));
    settings.lastClientKey =
        cleanKey(readKeyValue(key, lastClientKeyValue, defaults.lastClientKey));
    settings.placeKeys = cleanPlaceKeys(readKeyValue(key, placeKeysValue, defaults.placeKeys));
}

} // namespace

namespace {

// Text of any string type is read for the names it holds; the next drag writes it right.
void loadClientOrder(HKEY key) {
    settings.clientOrder.clear();
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, clientOrderValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_MULTI_SZ && type != REG_SZ && type != REG_EXPAND_SZ) ||
        size > 16 * maxOrderUnits * sizeof(wchar_t))
        return;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, clientOrderValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return;
    settings.clientOrder =
        namesFromMultiString(data.data(), std::min<size_t>(size / sizeof(wchar_t), data.size()));
}

} // namespace

void loadSettings() {
    RegKey key;
    DWORD disposition = 0;
    if (createUserKey(settingsKeyPath, key, &disposition) != ERROR_SUCCESS) return;

    const Settings defaults;
    if (disposition == REG_CREATED_NEW_KEY) {
        settings = defaults;
        writeNumber(key.get(), showSwitcherValue, settings.showSwitcher);
        writeNumber(key.get(), keepSwitcherOpenValue, settings.keepSwitcherOpen);
        writeNumber(key.get(), switcherOpensClientsValue, settings.switcherOpensClients);
        writeNumber(key.get(), loadAtStartupValue, settings.loadAtStartup);
        writePosition(key.get());
        findClientPath();
        writeText(key.get(), clientPathValue, settings.clientPath);
        return;
    }

    loadNumber(key.get(), showSwitcherValue, settings.showSwitcher, defaults.showSwitcher);
    loadNumber(key.get(), keepSwitcherOpenValue, settings.keepSwitcherOpen,
               defaults.keepSwitcherOpen);
    loadNumber(key.get(), switcherOpensClientsValue, settings.switcherOpensClients,
               defaults.switcherOpensClients);
    loadNumber(key.get(), loadAtStartupValue, settings.loadAtStartup, defaults.loadAtStartup);
    // newer than the other switches: held to its type as the keys are, and never written here
    settings.fitNewClients = readKeyValue(key.get(), fitNewClientsValue, defaults.fitNewClients);
    const bool xRead =
        loadNumber(key.get(), switcherXValue, settings.switcherX, defaults.switcherX);
    const bool yRead =
        loadNumber(key.get(), switcherYValue, settings.switcherY, defaults.switcherY);
    convertUnawarePosition(key.get(), xRead, yRead);

    if (!readText(key.get(), clientPathValue, settings.clientPath))
        settings.clientPath = defaults.clientPath;
    // a path once found or typed stays; only an empty one is looked for again
    if (settings.clientPath.length() == 0 && findClientPath())
        writeText(key.get(), clientPathValue, settings.clientPath);
    loadSwitchKeys(key.get());
    loadClientOrder(key.get());
}

bool findClientPath() {
    // a 32-bit installer on 64-bit Windows writes its entry to the 32-bit view
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
        RegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, clientUninstallKey, 0, KEY_QUERY_VALUE | view,
                          key.put()) != ERROR_SUCCESS)
            continue;
        CWString location;
        // an empty location would give "\qor.exe", the root of whatever drive is current
        if (!readText(key.get(), clientInstallValue, location) || location.length() == 0) continue;
        location.append(clientExecutable);
        settings.clientPath = location;
        return true;
    }
    return false;
}

namespace {

// The field's whole text; an empty field gives an empty path.
CWString editText(HWND editField) {
    const auto length = static_cast<size_t>(SendMessageW(editField, WM_GETTEXTLENGTH, 0, 0));
    std::vector<wchar_t> text(length + 1, L'\0');
    const auto copied = static_cast<size_t>(
        SendMessageW(editField, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text[copied < length ? copied : length] = L'\0';
    return CWString(text.data());
}

} // namespace

void saveSettings(DWORD showSwitcher, DWORD keepSwitcherOpen, DWORD switcherOpensClients,
                  DWORD loadAtStartup, DWORD fitNewClients, HWND editField) {
    RegKey key;
    if (createUserKey(settingsKeyPath, key) == ERROR_SUCCESS) {
        settings.showSwitcher = showSwitcher;
        writeNumber(key.get(), showSwitcherValue, settings.showSwitcher);
        settings.keepSwitcherOpen = keepSwitcherOpen;
        writeNumber(key.get(), keepSwitcherOpenValue, settings.keepSwitcherOpen);
        settings.switcherOpensClients = switcherOpensClients;
        writeNumber(key.get(), switcherOpensClientsValue, settings.switcherOpensClients);
        settings.loadAtStartup = loadAtStartup;
        writeNumber(key.get(), loadAtStartupValue, settings.loadAtStartup);
        settings.fitNewClients = fitNewClients;
        writeNumber(key.get(), fitNewClientsValue, settings.fitNewClients);
        writePosition(key.get());

        // without an edit field there is no text to take over: the path stays as it is
        if (IsWindow(editField)) {
            settings.clientPath = editText(editField);
            writeText(key.get(), clientPathValue, settings.clientPath);
        }
        key.reset();
    }

    RegKey run;
    if (createUserKey(runKeyPath, run) != ERROR_SUCCESS) return;
    if (!settings.loadAtStartup) {
        RegDeleteValueW(run.get(), runValueName);
        return;
    }
    const std::wstring command = startupCommand();
    if (!command.empty()) writeText(run.get(), runValueName, command.c_str(), command.length());
}

void saveSwitcherPosition(int x, int y) {
    settings.switcherX = x;
    settings.switcherY = y;
    RegKey key;
    if (createUserKey(settingsKeyPath, key) != ERROR_SUCCESS) return;
    writePosition(key.get());
}

namespace {

// Rounded half away from zero, as MulDiv does, but a value edited far beyond any screen stays
// far beyond it instead of becoming MulDiv's -1.
LONG scaledFrom96(LONG value, UINT dpi) {
    const long long product = static_cast<long long>(value) * dpi;
    const long long half = USER_DEFAULT_SCREEN_DPI / 2;
    const long long rounded = (product + (product < 0 ? -half : half)) / USER_DEFAULT_SCREEN_DPI;
    return static_cast<LONG>(std::clamp<long long>(rounded, LONG_MIN, LONG_MAX));
}

} // namespace

POINT positionFromUnaware(POINT stored, UINT dpi) {
    if (dpi == 0) return stored;
    return {scaledFrom96(stored.x, dpi), scaledFrom96(stored.y, dpi)};
}

UINT unawarePositionDpi(POINT stored, const std::vector<MonitorScale>& monitors) {
    for (const MonitorScale& monitor : monitors) {
        if (!monitor.dpi) continue;
        const auto unaware = [&](LONG physical) {
            return MulDiv(physical, USER_DEFAULT_SCREEN_DPI, static_cast<int>(monitor.dpi));
        };
        const RECT seen{unaware(monitor.physical.left), unaware(monitor.physical.top),
                        unaware(monitor.physical.right), unaware(monitor.physical.bottom)};
        if (PtInRect(&seen, stored)) return monitor.dpi;
    }
    return monitors.empty() ? 0 : monitors.front().dpi;
}

void saveSwitchKeys(DWORD on, DWORD nextKey, DWORD previousKey, DWORD lastKey, DWORD placeKeys) {
    RegKey key;
    if (createUserKey(settingsKeyPath, key) != ERROR_SUCCESS) return;
    settings.switchKeys = on ? 1 : 0;
    settings.nextClientKey = cleanKey(nextKey);
    settings.previousClientKey = cleanKey(previousKey);
    settings.lastClientKey = cleanKey(lastKey);
    settings.placeKeys = cleanPlaceKeys(placeKeys);
    writeNumber(key.get(), switchKeysValue, settings.switchKeys);
    writeNumber(key.get(), nextClientKeyValue, settings.nextClientKey);
    writeNumber(key.get(), previousClientKeyValue, settings.previousClientKey);
    writeNumber(key.get(), lastClientKeyValue, settings.lastClientKey);
    writeNumber(key.get(), placeKeysValue, settings.placeKeys);
}

std::vector<std::wstring> namesFromMultiString(const wchar_t* data, size_t units) {
    std::vector<std::wstring> names;
    units = std::min(units, maxOrderUnits);
    for (size_t start = 0; start < units && names.size() < maxOrderNames;) {
        size_t end = start;
        while (end < units && data[end] != L'\0')
            ++end;
        std::wstring name(data + start, end - start);
        if (!name.empty() && name.size() <= maxNameUnits &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

void saveClientOrder(const std::vector<std::wstring>& names) {
    settings.clientOrder = names;
    std::wstring data;
    for (const std::wstring& name : names)
        data.append(name).push_back(L'\0');
    data.push_back(L'\0');
    if (names.empty()) data.push_back(L'\0');
    RegKey key;
    if (createUserKey(settingsKeyPath, key) != ERROR_SUCCESS) return;
    RegSetValueExW(key.get(), clientOrderValue, 0, REG_MULTI_SZ,
                   reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}
