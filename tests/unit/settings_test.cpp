#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <cwctype>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/game_client.h"
#include "core/handles.h"
#include "core/settings.h"

namespace {

constexpr wchar_t storeKey[] = L"Software\\Skarvel";
constexpr wchar_t runKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t runValue[] = L"Skarvel";
constexpr wchar_t pathValue[] = L"QOR Online path";
// beside the position: it is in the screen's own pixels, not an earlier version's 96-DPI ones
constexpr wchar_t physicalMark[] = L"Switcher Position physical";
constexpr wchar_t wow32UninstallKey[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QOR";
constexpr wchar_t childTreeVariable[] = L"SKARVEL_SETTINGS_CHILD_TREE";

struct NumberValue {
    const wchar_t* name;
    DWORD byDefault;
    DWORD (*field)(const Settings&);
};
const NumberValue numbers[] = {
    {L"Client Switcher", 1, [](const Settings& s) { return s.showSwitcher; }},
    {L"Keep switcher open", 0, [](const Settings& s) { return s.keepSwitcherOpen; }},
    {L"Use switcher to open clients", 0, [](const Settings& s) { return s.switcherOpensClients; }},
    {L"Load at windows startup", 0, [](const Settings& s) { return s.loadAtStartup; }},
    {L"Switcher Position x", 300, [](const Settings& s) { return DWORD(s.switcherX); }},
    {L"Switcher Position y", 0, [](const Settings& s) { return DWORD(s.switcherY); }},
};

std::wstring describe(const Settings& s) {
    std::wstring text;
    for (const auto& number : numbers)
        text += std::wstring(number.name) + L"=" + std::to_wstring(number.field(s)) + L" ";
    return text + L"fit=" + std::to_wstring(s.fitNewClients) + L" path=" + s.clientPath.c_str();
}

// The text and its NUL, as the store writes it.
std::wstring sz(const std::wstring& text) {
    return text + L'\0';
}

struct Stored {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    DWORD number() const {
        DWORD value = 0;
        if (bytes.size() == sizeof(value)) memcpy(&value, bytes.data(), sizeof(value));
        return value;
    }
    std::wstring text() const {
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    }
};

Stored stored(HKEY root, const wchar_t* path, const wchar_t* name) {
    Stored value;
    RegKey key;
    DWORD size = 0;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return value;
    value.bytes.resize(size);
    value.exists = RegQueryValueExW(key.get(), name, nullptr, &value.type, value.bytes.data(),
                                    &size) == ERROR_SUCCESS;
    return value;
}

Stored stored(const wchar_t* name) {
    return stored(HKEY_CURRENT_USER, storeKey, name);
}

void put(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data,
         size_t bytes) {
    RegKey key;
    ASSERT_EQ(
        RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), DWORD(bytes)),
        ERROR_SUCCESS);
}

void putNumber(const wchar_t* name, DWORD value) {
    put(HKEY_CURRENT_USER, storeKey, name, REG_DWORD, &value, sizeof(value));
}

// raw: the exact units to store, NULs included
void putPath(const std::wstring& raw, DWORD type = REG_SZ) {
    put(HKEY_CURRENT_USER, storeKey, pathValue, type, raw.data(), raw.size() * 2);
}

void install(const std::wstring& location, const wchar_t* key = clientUninstallKey) {
    const std::wstring raw = sz(location);
    put(HKEY_LOCAL_MACHINE, key, clientInstallValue, REG_SZ, raw.data(), raw.size() * 2);
}

std::wstring modulePath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
    return path;
}

// A hidden edit control holding text, like the one the configuration window passes.
class EditField {
  public:
    explicit EditField(const std::wstring& text)
        : hwnd(CreateWindowExW(0, L"EDIT", nullptr, WS_POPUP | ES_AUTOHSCROLL, 0, 0, 200, 20,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)) {
        SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
        SetWindowTextW(hwnd, text.c_str());
    }
    EditField(const EditField&) = delete;
    EditField& operator=(const EditField&) = delete;
    ~EditField() { DestroyWindow(hwnd); }
    HWND hwnd;
};

// Maps HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE to fresh keys of this test's own, so the
// store runs unchanged without reaching the real hives or another test's values.
class SettingsTest : public testing::Test {
  protected:
    void SetUp() override {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(test->test_suite_name()) + "." + test->name();
        tree = L"Software\\SkarvelTests\\" + std::wstring(name.begin(), name.end());
        RegDeleteTreeW(HKEY_CURRENT_USER, tree.c_str());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, tree.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, root.put(), nullptr),
                  ERROR_SUCCESS);
        for (auto [hive, sub] : {std::pair{&user, L"hkcu"}, std::pair{&machine, L"hklm"}})
            ASSERT_EQ(RegCreateKeyExW(root.get(), sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                      hive->put(), nullptr),
                      ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user.get()), ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine.get()), ERROR_SUCCESS);
        settings = Settings();
    }

    void TearDown() override {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        user.reset();
        machine.reset();
        root.reset();
        EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, tree.c_str()), ERROR_SUCCESS);
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\SkarvelTests"); // only once empty
    }

    // Every key under HKEY_CURRENT_USER then fails to open, as with a broken profile.
    void loseUserHive() {
        ASSERT_EQ(RegDeleteTreeW(root.get(), L"hkcu"), ERROR_SUCCESS);
        RegKey probe;
        ASSERT_NE(RegCreateKeyExW(HKEY_CURRENT_USER, storeKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, probe.put(), nullptr),
                  ERROR_SUCCESS);
    }

    std::wstring tree;
    RegKey root, user, machine;
};

class SettingsFirstRun : public SettingsTest {};

TEST_F(SettingsFirstRun, WritesTheDefaultsAndTheFoundPath) {
    const struct {
        const wchar_t* location; // nullptr: no install entry
        std::wstring path;
    } cases[] = {{nullptr, L""}, {L"C:\\Games\\QOR", L"C:\\Games\\QOR\\qor.exe"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location ? c.location : L"no install entry");
        RegDeleteTreeW(HKEY_CURRENT_USER, storeKey);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, clientUninstallKey);
        if (c.location) install(c.location);
        settings = Settings();
        loadSettings();

        for (const auto& number : numbers) {
            SCOPED_TRACE(number.name);
            const Stored value = stored(number.name);
            EXPECT_EQ(value.type, DWORD(REG_DWORD));
            EXPECT_EQ(value.bytes.size(), 4u);
            EXPECT_EQ(value.number(), number.byDefault);
            EXPECT_EQ(number.field(settings), number.byDefault);
        }
        EXPECT_EQ(stored(physicalMark).number(), 1u) << "the position is unmarked";
        EXPECT_FALSE(stored(L"Fit new clients").exists) << "written only by a save";
        const Stored path = stored(pathValue);
        EXPECT_EQ(path.type, DWORD(REG_SZ));
        EXPECT_EQ(path.text(), c.path.empty() ? L"" : sz(c.path)); // empty: no data at all
        EXPECT_EQ(settings.clientPath.c_str(), c.path);
    }
}

class SettingsNumbers : public SettingsTest {};

TEST_F(SettingsNumbers, ValueDeletedByHandComesBackAloneWithItsDefault) {
    const DWORD others[] = {0, 1, 1, 1, 640, DWORD(-20)};
    for (size_t gone = 0; gone < std::size(numbers); ++gone) {
        SCOPED_TRACE(numbers[gone].name);
        for (size_t i = 0; i < std::size(numbers); ++i)
            putNumber(numbers[i].name, others[i]);
        putPath(sz(L"D:\\qor.exe"));
        RegDeleteKeyValueW(HKEY_CURRENT_USER, storeKey, numbers[gone].name);
        settings = Settings();
        loadSettings();
        for (size_t i = 0; i < std::size(numbers); ++i) {
            const DWORD expected = i == gone ? numbers[i].byDefault : others[i];
            EXPECT_EQ(numbers[i].field(settings), expected) << numbers[i].name;
            EXPECT_EQ(stored(numbers[i].name).number(), expected) << numbers[i].name;
        }
    }
}

TEST_F(SettingsNumbers, WrongTypesAndSizes) {
    const struct {
        const char* what;
        const wchar_t* name;
        DWORD type;
        std::vector<BYTE> data;
        DWORD loaded;
        bool rewritten; // as a 4-byte REG_DWORD holding the default
    } cases[] = {
        {"long text", L"Switcher Position x", REG_SZ, {'5', 0, '0', 0, '0', 0, 0, 0}, 300, true},
        {"4 bytes of text", L"Switcher Position x", REG_SZ, {'A', 0, 0, 0}, 0x41, false},
        {"4 bytes of binary", L"Switcher Position y", REG_BINARY, {1, 2, 3, 4}, 0x04030201, false},
        {"0 bytes", L"Switcher Position x", REG_BINARY, {}, 300, true},
        {"1 byte", L"Client Switcher", REG_BINARY, {0}, 1, true},
        {"3 bytes", L"Switcher Position x", REG_BINARY, {1, 2, 3}, 300, true},
        {"5 bytes", L"Switcher Position x", REG_BINARY, {1, 2, 3, 4, 5}, 300, true},
        // the tray treats any non-zero as on; left to it, not folded to 1 here
        {"switcher 2", L"Client Switcher", REG_DWORD, {2, 0, 0, 0}, 2, false},
        {"open clients 2", L"Use switcher to open clients", REG_DWORD, {2, 0, 0, 0}, 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeW(HKEY_CURRENT_USER, storeKey);
        put(HKEY_CURRENT_USER, storeKey, c.name, c.type, c.data.data(), c.data.size());
        settings = Settings();
        loadSettings();
        for (const auto& number : numbers)
            if (wcscmp(number.name, c.name) == 0) {
                EXPECT_EQ(number.field(settings), c.loaded);
            }
        const Stored after = stored(c.name);
        if (c.rewritten) {
            EXPECT_EQ(after.type, DWORD(REG_DWORD));
            EXPECT_EQ(after.bytes.size(), 4u);
            EXPECT_EQ(after.number(), c.loaded);
        } else {
            EXPECT_EQ(after.type, c.type);
            EXPECT_EQ(after.bytes, c.data);
        }
    }
}

class SettingsKeys : public SettingsTest {};

// The key values and "Fit new clients" are read, never repaired on loading: a user who never
// turns them on finds the store untouched. Wrong forms read as the default; odd bits and keys
// that cannot be held go.
TEST_F(SettingsKeys, ReadCleanedOrAsTheDefaultAndAreWrittenOnlyBySavingTheKeys) {
    const DWORD qword[2] = {0x00060027, 0};
    const struct {
        const char* what;
        const wchar_t* name;
        DWORD type;
        std::vector<BYTE> data; // empty: the value is absent
        DWORD Settings::*field;
        DWORD loaded;
    } cases[] = {
        {"absent",
         L"Next client key",
         REG_DWORD,
         {},
         &Settings::nextClientKey,
         defaultNextClientKey},
        {"unknown modifier bits",
         L"Next client key",
         REG_DWORD,
         {0x27, 0, 0x76, 0x40},
         &Settings::nextClientKey,
         0x00060027},
        {"a modifier alone",
         L"Previous client key",
         REG_DWORD,
         {VK_SHIFT, 0, 6, 0},
         &Settings::previousClientKey,
         0},
        {"no key code", L"Last client key", REG_DWORD, {0, 0, 6, 0}, &Settings::lastClientKey, 0},
        {"4 bytes of binary",
         L"Last client key",
         REG_BINARY,
         {0x25, 0, 6, 0},
         &Settings::lastClientKey,
         defaultLastClientKey},
        {"a qword", L"Next client key", REG_QWORD,
         std::vector<BYTE>(reinterpret_cast<const BYTE*>(qword),
                           reinterpret_cast<const BYTE*>(qword) + 8),
         &Settings::nextClientKey, defaultNextClientKey},
        {"places with odd bits",
         L"Place keys",
         REG_DWORD,
         {0xF1, 0xFF, 0xFF, 0xFF},
         &Settings::placeKeys,
         MOD_ALT},
        {"F12 alone, the debugger's",
         L"Next client key",
         REG_DWORD,
         {VK_F12, 0, 0, 0},
         &Settings::nextClientKey,
         0},
        {"F12 with Ctrl",
         L"Previous client key",
         REG_DWORD,
         {VK_F12, 0, MOD_CONTROL, 0},
         &Settings::previousClientKey,
         storedKey(VK_F12, MOD_CONTROL)},
        {"switch on as text", L"Switch keys", REG_SZ, {'1', 0, 0, 0}, &Settings::switchKeys, 0},
        {"switch on", L"Switch keys", REG_DWORD, {2, 0, 0, 0}, &Settings::switchKeys, 2},
        {"fit absent", L"Fit new clients", REG_DWORD, {}, &Settings::fitNewClients, 0},
        {"fit as binary",
         L"Fit new clients",
         REG_BINARY,
         {1, 0, 0, 0},
         &Settings::fitNewClients,
         0},
        {"fit on", L"Fit new clients", REG_DWORD, {1, 0, 0, 0}, &Settings::fitNewClients, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeW(HKEY_CURRENT_USER, storeKey);
        putNumber(L"Client Switcher", 1); // an existing store, not a first run
        if (!c.data.empty())
            put(HKEY_CURRENT_USER, storeKey, c.name, c.type, c.data.data(), c.data.size());
        settings = Settings();
        loadSettings();
        EXPECT_EQ(settings.*c.field, c.loaded);
        const Stored after = stored(c.name);
        EXPECT_EQ(after.exists, !c.data.empty());
        if (after.exists) {
            EXPECT_EQ(after.type, c.type);
            EXPECT_EQ(after.bytes, c.data);
        }
    }

    // saving the keys writes all five right, cleaned as loading cleans them
    saveSwitchKeys(2, storedKey(VK_F5, MOD_CONTROL | MOD_ALT | 0x4000), storedKey(VK_LWIN, 8), 0,
                   0x10 | MOD_WIN);
    const std::pair<const wchar_t*, DWORD> saved[] = {
        {L"Switch keys", 1},         {L"Next client key", storedKey(VK_F5, MOD_CONTROL | MOD_ALT)},
        {L"Previous client key", 0}, {L"Last client key", 0},
        {L"Place keys", MOD_WIN},
    };
    for (const auto& [name, value] : saved) {
        SCOPED_TRACE(name);
        const Stored after = stored(name);
        EXPECT_EQ(after.type, DWORD(REG_DWORD));
        EXPECT_EQ(after.bytes.size(), 4u);
        EXPECT_EQ(after.number(), value);
    }
    EXPECT_EQ(settings.nextClientKey, storedKey(VK_F5, MOD_CONTROL | MOD_ALT));
    EXPECT_EQ(settings.placeKeys, DWORD(MOD_WIN));
}

class SettingsStoredPath : public SettingsTest {};

TEST_F(SettingsStoredPath, LongPathSurvivesARestartAndBeatsTheFoundOne) {
    install(L"C:\\Found");
    for (size_t length : {200u, 10000u}) {
        SCOPED_TRACE(length);
        const std::wstring path = L"E:\\" + std::wstring(length - 11, L'q') + L"\\qor.exe";
        ASSERT_EQ(path.size(), length);
        putPath(sz(path));
        for (int run = 0; run < 2; ++run) {
            settings = Settings();
            loadSettings();
            EXPECT_EQ(settings.clientPath.c_str(), path);
            EXPECT_EQ(stored(pathValue).text(), sz(path));
        }
    }
}

TEST_F(SettingsStoredPath, TextEndsAtTheFirstNulOrTheEndOfTheData) {
    const std::wstring path = L"D:\\QOR\\qor.exe";
    const std::wstring trailing = path + L"x"; // odd count: only the first byte of "x" stored
    const std::wstring embedded = path + L'\0' + L"junk" + L'\0';
    const struct {
        const char* what;
        const wchar_t* data;
        size_t bytes;
    } cases[] = {
        {"no NUL", path.data(), path.size() * 2},
        {"odd byte count", trailing.data(), path.size() * 2 + 1},
        {"embedded NUL", embedded.data(), embedded.size() * 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        put(HKEY_CURRENT_USER, storeKey, pathValue, REG_SZ, c.data, c.bytes);
        settings = Settings();
        loadSettings();
        EXPECT_EQ(settings.clientPath.c_str(), path);
    }
}

TEST_F(SettingsStoredPath, OnlyAnEmptyOrMissingPathIsLookedFor) {
    const std::wstring found = L"C:\\Found\\qor.exe";
    const std::wstring asText = L"D:\\QOR\\qor.exe";
    const std::wstring typed = L"%GAMES%\\qor.exe";
    const struct {
        const char* what;
        DWORD type; // REG_NONE: no value
        std::wstring raw;
        bool installed;
        std::wstring loaded;
    } cases[] = {
        {"empty", REG_SZ, L"", true, found},
        {"missing", REG_NONE, L"", true, found},
        {"text stored as binary loads as it always did", REG_BINARY, sz(asText), true, asText},
        {"expandable, kept as typed", REG_EXPAND_SZ, sz(typed), true, typed},
        {"empty, nothing found", REG_SZ, L"", false, L""},
        {"missing, nothing found", REG_NONE, L"", false, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeW(HKEY_CURRENT_USER, storeKey);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, clientUninstallKey);
        putNumber(L"Client Switcher", 1);
        if (c.type != REG_NONE) putPath(c.raw, c.type);
        if (c.installed) install(L"C:\\Found");
        settings = Settings();
        loadSettings();
        EXPECT_EQ(settings.clientPath.c_str(), c.loaded);
        const Stored after = stored(pathValue);
        if (c.loaded == found) {
            EXPECT_EQ(after.type, DWORD(REG_SZ));
            EXPECT_EQ(after.text(), sz(found));
        } else { // left as it was
            EXPECT_EQ(after.exists, c.type != REG_NONE);
            if (after.exists) {
                EXPECT_EQ(after.type, c.type);
            }
            EXPECT_EQ(after.text(), c.raw);
        }
    }
}

class SettingsDiscovery : public SettingsTest {};

TEST_F(SettingsDiscovery, LocationIsUsedAsStoredWithTheExecutableAppended) {
    const struct {
        const wchar_t* location;
        bool found;
        std::wstring path;
    } cases[] = {
        {L"C:\\Games\\QOR", true, L"C:\\Games\\QOR\\qor.exe"},
        {L"C:\\Games\\QOR\\", true, L"C:\\Games\\QOR\\\\qor.exe"}, // doubled, as designed
        // "\qor.exe" would name the root of the current drive
        {L"", false, L"kept"},
        {nullptr, false, L"kept"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location ? c.location : L"no entry");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, clientUninstallKey);
        if (c.location) install(c.location);
        settings.clientPath.assign(L"kept");
        EXPECT_EQ(findClientPath(), c.found);
        EXPECT_EQ(settings.clientPath.c_str(), c.path);
    }
}

TEST_F(SettingsDiscovery, ThirtyTwoBitViewIsAskedWhenTheNativeOneHasNoEntry) {
    install(L"C:\\Games32", wow32UninstallKey);
    // The test relies on the registry redirecting KEY_WOW64_32KEY below the mapped hive, as
    // Wine does for a 64-bit process; elsewhere the two views are one and this proves nothing.
    RegKey native, view32;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, clientUninstallKey, 0, KEY_QUERY_VALUE, native.put()) ==
            ERROR_SUCCESS ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, clientUninstallKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      view32.put()) != ERROR_SUCCESS)
        GTEST_SKIP() << "no separate 32-bit view under an overridden HKEY_LOCAL_MACHINE";

    ASSERT_TRUE(findClientPath());
    EXPECT_STREQ(settings.clientPath.c_str(), L"C:\\Games32\\qor.exe");
    install(L"C:\\Games64");
    ASSERT_TRUE(findClientPath());
    EXPECT_STREQ(settings.clientPath.c_str(), L"C:\\Games64\\qor.exe");
}

class SettingsSave : public SettingsTest {};

TEST_F(SettingsSave, WritesTheFlagsAndTheTypedPathAndKeepsThePosition) {
    const std::wstring longPath = L"F:\\" + std::wstring(1000, L'x') + L"\\qor.exe";
    for (const std::wstring& text : {std::wstring(L"D:\\QOR\\qor.exe"), longPath, std::wstring()}) {
        SCOPED_TRACE(text.size());
        putNumber(L"Switcher Position x", 1);
        putNumber(L"Switcher Position y", 2);
        putPath(sz(L"old"));
        settings = Settings();
        settings.switcherX = -20;
        settings.switcherY = 40;
        EditField edit(text);
        saveSettings(0, 1, 2, 0, 1, edit.hwnd);

        const DWORD expected[] = {0, 1, 2, 0, DWORD(-20), 40};
        for (size_t i = 0; i < std::size(numbers); ++i) {
            SCOPED_TRACE(numbers[i].name);
            EXPECT_EQ(numbers[i].field(settings), expected[i]);
            EXPECT_EQ(stored(numbers[i].name).type, DWORD(REG_DWORD));
            EXPECT_EQ(stored(numbers[i].name).number(), expected[i]);
        }
        EXPECT_EQ(stored(physicalMark).number(), 1u);
        EXPECT_EQ(stored(L"Fit new clients").type, DWORD(REG_DWORD));
        EXPECT_EQ(stored(L"Fit new clients").number(), 1u);
        EXPECT_EQ(settings.fitNewClients, 1u);
        EXPECT_EQ(settings.clientPath.c_str(), text);
        const Stored path = stored(pathValue);
        EXPECT_EQ(path.type, DWORD(REG_SZ));
        EXPECT_EQ(path.text(), text.empty() ? L"" : sz(text));
    }
}

// A configuration window whose edit field could not be made has no path to take over.
TEST_F(SettingsSave, WithoutAnEditFieldThePathStaysAsItIs) {
    putPath(sz(L"D:\\KEEP\\qor.exe"));
    settings = Settings();
    settings.clientPath.assign(L"D:\\KEEP\\qor.exe");
    saveSettings(0, 0, 1, 0, 0, nullptr);
    EXPECT_STREQ(settings.clientPath.c_str(), L"D:\\KEEP\\qor.exe");
    EXPECT_EQ(stored(pathValue).text(), sz(L"D:\\KEEP\\qor.exe"));
    EXPECT_EQ(stored(L"Use switcher to open clients").number(), 1u) << "the flags are saved";
}

class SettingsStartup : public SettingsTest {
  protected:
    Stored run() { return stored(HKEY_CURRENT_USER, runKey, runValue); }
};

TEST_F(SettingsStartup, OnStoresTheQuotedFullPathAndOffDeletesOnlyOurValue) {
    const std::wstring other = sz(L"other.exe");
    for (bool present : {true, false}) {
        SCOPED_TRACE(present ? "present" : "absent");
        put(HKEY_CURRENT_USER, runKey, L"Other", REG_SZ, other.data(), other.size() * 2);
        if (present) {
            saveSettings(1, 0, 0, 1, 0, nullptr);
            EXPECT_EQ(run().type, DWORD(REG_SZ));
            EXPECT_EQ(run().text(), sz(L"\"" + modulePath() + L"\""));
        }
        saveSettings(1, 0, 0, 0, 0, nullptr);
        EXPECT_FALSE(run().exists);
        EXPECT_EQ(stored(HKEY_CURRENT_USER, runKey, L"Other").text(), other);
    }
}

// The program started through a relative command line still registers where it lives.
TEST_F(SettingsStartup, StartedThroughARelativePathStoresTheFullPath) {
    const std::wstring exe = modulePath();
    const size_t slash = exe.find_last_of(L'\\');
    ASSERT_NE(slash, std::wstring::npos);
    const std::wstring folder = exe.substr(0, slash);
    std::wstring command = exe.substr(slash + 1) +
                           L" --gtest_also_run_disabled_tests --gtest_brief=1"
                           L" --gtest_filter=SettingsRelaunched.DISABLED_SavesWithStartupOn";
    SetEnvironmentVariableW(childTreeVariable, (tree + L"\\hkcu").c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, folder.c_str(), &startup, &child);
    SetEnvironmentVariableW(childTreeVariable, nullptr);
    ASSERT_TRUE(started) << GetLastError();
    KernelHandle process(child.hProcess), thread(child.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);

    const std::wstring value = run().text();
    ASSERT_GE(value.size(), 6u);
    EXPECT_EQ(value.front(), L'"');
    EXPECT_TRUE(std::iswalpha(value[1]) && value.compare(2, 2, L":\\") == 0) << value;
    EXPECT_EQ(value, sz(L"\"" + exe + L"\""));
}

// Run only by the test above, in a process of its own, on that test's keys.
TEST(SettingsRelaunched, DISABLED_SavesWithStartupOn) {
    wchar_t tree[1024];
    const DWORD length = GetEnvironmentVariableW(childTreeVariable, tree, DWORD(std::size(tree)));
    if (length == 0 || length >= std::size(tree)) GTEST_SKIP() << "started by hand";
    RegKey user;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, tree, 0, KEY_ALL_ACCESS, user.put()), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user.get()), ERROR_SUCCESS);
    saveSettings(1, 0, 0, 1, 0, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
}

class SettingsPosition : public SettingsTest {};

TEST_F(SettingsPosition, WritesBothValuesAndTheMark) {
    putNumber(L"Client Switcher", 0);
    saveSwitcherPosition(-1280, 25);
    EXPECT_EQ(settings.switcherX, -1280);
    EXPECT_EQ(settings.switcherY, 25);
    EXPECT_EQ(stored(L"Switcher Position x").number(), DWORD(-1280));
    EXPECT_EQ(stored(L"Switcher Position y").number(), 25u);
    EXPECT_EQ(stored(physicalMark).number(), 1u);
    EXPECT_EQ(stored(L"Client Switcher").number(), 0u);
}

// An earlier version's position was in 96-DPI pixels that Windows scaled by the primary
// monitor's scale.
TEST(SettingsUnawarePosition, IsScaledByThePrimaryMonitorsDpiRoundedAwayFromZero) {
    const struct {
        POINT stored;
        UINT dpi;
        POINT physical;
    } rows[] = {
        {{200, 100}, 144, {300, 150}},
        {{200, 100}, 96, {200, 100}},
        {{-1281, 7}, 144, {-1922, 11}}, // a monitor left of the primary one
        {{-1280, 3}, 120, {-1600, 4}},
        {{640, 0}, 192, {1280, 0}},
        {{200, 100}, 0, {200, 100}}, // no DPI known: as stored
        {{LONG_MAX, LONG_MIN}, 144, {LONG_MAX, LONG_MIN}},
    };
    for (const auto& row : rows) {
        const POINT at = positionFromUnaware(row.stored, row.dpi);
        EXPECT_EQ(at.x, row.physical.x) << row.stored.x << " at " << row.dpi;
        EXPECT_EQ(at.y, row.physical.y) << row.stored.y << " at " << row.dpi;
    }
}

// It is converted with the scale of the monitor that held it as the earlier version saw the
// monitors, each in 96-DPI pixels of its own scale; the primary's when none held it.
TEST(SettingsUnawarePosition, TakesTheScaleOfTheMonitorThatHeldIt) {
    const std::vector<MonitorScale> monitors{
        {{0, 0, 2880, 1620}, 144}, {{2880, 0, 4800, 1080}, 96}, {{-2560, 0, 0, 1440}, 192}};
    const struct {
        POINT stored;
        UINT dpi;
    } rows[] = {
        {{200, 100}, 144},   {{1919, 1079}, 144}, {{3000, 10}, 96},
        {{-1280, 700}, 192}, {{-1281, 5}, 144},   {{2000, 50}, 144}, // in no monitor: the primary's
    };
    for (const auto& row : rows)
        EXPECT_EQ(unawarePositionDpi(row.stored, monitors), row.dpi) << row.stored.x;
    EXPECT_EQ(unawarePositionDpi({5, 5}, {}), 0u);
}

class SettingsUnopenable : public SettingsTest {};

TEST_F(SettingsUnopenable, LoadKeepsTheDefaultsAndLooksForNothing) {
    install(L"C:\\Found");
    loseUserHive();
    loadSettings();
    EXPECT_EQ(describe(settings), describe(Settings()));
}

TEST_F(SettingsUnopenable, SaveChangesNoField) {
    settings.keepSwitcherOpen = 1;
    settings.clientPath.assign(L"D:\\qor.exe");
    const std::wstring before = describe(settings);
    loseUserHive();
    EditField edit(L"E:\\other.exe");
    saveSettings(0, 0, 1, 1, 1, edit.hwnd);
    EXPECT_EQ(describe(settings), before);
}

TEST_F(SettingsUnopenable, PositionStillReachesTheRecord) {
    loseUserHive();
    saveSwitcherPosition(7, 8);
    EXPECT_EQ(settings.switcherX, 7);
    EXPECT_EQ(settings.switcherY, 8);
}

} // namespace

class SettingsClientOrder : public SettingsTest {};

TEST_F(SettingsClientOrder, ADamagedValueIsReadForTheNamesItHoldsAndWrittenRight) {
    using Names = std::vector<std::wstring>;
    std::wstring many, huge(40000, L'x');
    for (int i = 0; i < 120; ++i)
        many += L"n" + std::to_wstring(i) + L'\0';
    huge += std::wstring(L"\0Late\0", 6);
    const std::wstring good(L"Zed\0Amy\0\0", 9), unended(L"Zed\0Amy", 7),
        holes(L"\0Zed\0\0Amy\0Zed\0\0", 15), tooLong(std::wstring(62, L'l') + L'\0' + L"Amy");
    const DWORD number = 7;
    const struct {
        const char* what;
        DWORD type;
        const void* data;
        size_t bytes;
        Names names;
    } cases[] = {
        {"as written", REG_MULTI_SZ, good.data(), good.size() * 2, {L"Zed", L"Amy"}},
        {"no terminator, odd size",
         REG_MULTI_SZ,
         unended.data(),
         unended.size() * 2 + 1,
         {L"Zed", L"Amy"}},
        {"empty strings and repeats",
         REG_MULTI_SZ,
         holes.data(),
         holes.size() * 2,
         {L"Zed", L"Amy"}},
        {"a name no title can give", REG_MULTI_SZ, tooLong.data(), tooLong.size() * 2, {L"Amy"}},
        {"one text", REG_SZ, L"Zed", 8, {L"Zed"}},
        {"a number", REG_DWORD, &number, 4, {}},
        {"over 64 KiB: the rest unread", REG_MULTI_SZ, huge.data(), huge.size() * 2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        put(HKEY_CURRENT_USER, storeKey, L"Client order", c.type, c.data, c.bytes);
        loadSettings();
        EXPECT_EQ(settings.clientOrder, c.names);
    }
    put(HKEY_CURRENT_USER, storeKey, L"Client order", REG_MULTI_SZ, many.data(), many.size() * 2);
    loadSettings();
    ASSERT_EQ(settings.clientOrder.size(), 100u) << "at most 100 names";
    EXPECT_EQ(settings.clientOrder.back(), L"n99");

    saveClientOrder({L"Amy", L"Zed"});
    wchar_t stored[16]{};
    DWORD type = 0, size = sizeof stored;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, storeKey, L"Client order", RRF_RT_ANY, &type, stored,
                           &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(std::wstring(stored, size / 2), std::wstring(L"Amy\0Zed\0\0", 9));
}
