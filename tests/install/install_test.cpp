// The installer as a player meets it, silent, with the real program: what it puts in place,
// an install over the running copy, and the uninstaller its entry names. It installs into the
// user's profile, so it runs only when SKARVEL_INSTALLER names the installer (Windows path).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "core/globals.h"
#include "core/handles.h"
#include "skarvel_version.h"
#include "tests/support/skarvel_process.h"

namespace {

constexpr wchar_t uninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Skarvel";
constexpr wchar_t runKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t none[] = L"<none>";

std::wstring knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring found;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) found = path;
    CoTaskMemFree(path);
    return found;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring readText(const wchar_t* key, const wchar_t* name) {
    wchar_t text[1024]{};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
        return none;
    return text;
}

DWORD readNumber(const wchar_t* key, const wchar_t* name) {
    DWORD value = absentNumber, size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

bool keyExists(const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Installer and uninstaller alike; true when it ended with code 0.
bool runSilently(const std::wstring& exe) {
    const testkit::Process setup = testkit::Process::start(exe, L"/S");
    DWORD code = STILL_ACTIVE;
    return setup.id() && setup.waitExit(120000, &code) && code == 0;
}

std::vector<DWORD> runningCopies() {
    return testkit::processesNamed(L"skarvel.exe");
}

TEST(Install, SilentInstallOverTheRunningCopyAndUninstall) {
    wchar_t installer[MAX_PATH]{};
    if (!GetEnvironmentVariableW(L"SKARVEL_INSTALLER", installer, MAX_PATH))
        GTEST_SKIP() << "SKARVEL_INSTALLER names no installer";
    const std::wstring dir = knownFolder(FOLDERID_LocalAppData) + L"\\Programs\\Skarvel";
    const std::wstring exe = dir + L"\\skarvel.exe";
    const std::wstring shortcut = knownFolder(FOLDERID_Programs) + L"\\Skarvel.lnk";
    ASSERT_TRUE(runningCopies().empty());

    // a copy that knows no close request (an earlier build) holds the one-instance mutex: the
    // installer stops rather than install a copy that would end at once
    {
        const KernelHandle earlierCopy(CreateMutexW(nullptr, FALSE, instanceMutexName));
        ASSERT_TRUE(earlierCopy);
        EXPECT_FALSE(runSilently(installer));
        EXPECT_FALSE(exists(exe)) << "installed beside a copy it could not close";
    }

    ASSERT_TRUE(runSilently(installer));
    for (const wchar_t* file : {L"skarvel.exe", L"uninstall.exe", L"README.txt", L"LICENSE.txt"})
        EXPECT_TRUE(exists(dir + L"\\" + file)) << "no " << file;
    EXPECT_TRUE(exists(shortcut)) << "no shortcut";
    const std::wstring uninstaller = dir + L"\\uninstall.exe";
    const struct {
        const wchar_t* name;
        std::wstring value;
    } entry[] = {
        {L"DisplayName", L"Skarvel"},
        {L"DisplayVersion", L"" SKARVEL_SHORT_VERSION},
        {L"Publisher", L"Skarvel developers"},
        {L"DisplayIcon", exe},
        {L"InstallLocation", dir},
        {L"UninstallString", L"\"" + uninstaller + L"\""},
        {L"QuietUninstallString", L"\"" + uninstaller + L"\" /S"},
    };
    for (const auto& row : entry)
        EXPECT_EQ(readText(uninstallKey, row.name), row.value) << row.name;
    EXPECT_EQ(readNumber(uninstallKey, L"NoModify"), 1u);
    EXPECT_EQ(readNumber(uninstallKey, L"NoRepair"), 1u);
    WIN32_FILE_ATTRIBUTE_DATA exeData{};
    GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &exeData);
    const DWORD estimated = readNumber(uninstallKey, L"EstimatedSize"); // KiB
    EXPECT_TRUE(estimated != absentNumber && estimated >= exeData.nFileSizeLow / 1024) << estimated;
    EXPECT_TRUE(runningCopies().empty()) << "a silent install starts nothing";

    // the installed copy, with a setting saved through its configuration window and registered
    // to start with Windows as it registers itself when started from the shortcut
    Skarvel first = startSkarvel(exe);
    ASSERT_TRUE(first.tray);
    EXPECT_TRUE(testkit::waitUntil([&] { return iconExists(first.tray); }, 5000));
    const DWORD switcherOn = storedNumber(L"Client Switcher") ? 0 : 1;
    ASSERT_TRUE(toggleSwitcherSetting(first));
    ASSERT_EQ(storedNumber(L"Client Switcher"), switcherOn);
    const std::wstring runValue = L"\"" + exe + L"\"";
    RegSetKeyValueW(HKEY_CURRENT_USER, runKey, L"Skarvel", REG_SZ, runValue.c_str(),
                    DWORD((runValue.size() + 1) * sizeof(wchar_t)));

    // over the running copy: it ends as "Exit Skarvel" ends it and comes back, once
    ASSERT_TRUE(runSilently(installer));
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(first.process.waitExit(0, &code) && code == 0) << "not closed cleanly: " << code;
    std::vector<DWORD> copies;
    EXPECT_TRUE(testkit::waitUntil(
        [&] { return (copies = runningCopies()).size() == 1 && findTrayWindow(copies[0]); }, 15000))
        << copies.size() << " copies run";
    std::vector<testkit::Process> started; // ended by id, however many there are
    for (DWORD id : copies)
        started.push_back(testkit::Process::adopt(id));
    ASSERT_EQ(copies.size(), 1u);
    const HWND tray = findTrayWindow(copies[0]);
    EXPECT_TRUE(testkit::waitUntil([&] { return iconExists(tray); }, 5000));
    EXPECT_EQ(storedNumber(L"Client Switcher"), switcherOn);

    // the uninstaller goes on from a copy of itself: wait for what it does last, not for it
    const std::wstring command = readText(uninstallKey, L"UninstallString");
    ASSERT_TRUE(command.size() > 2 && command.front() == L'"' && command.back() == L'"');
    ASSERT_TRUE(runSilently(command.substr(1, command.size() - 2)));
    EXPECT_TRUE(started[0].waitExit(15000, &code) && code == 0) << "not closed cleanly";
    EXPECT_TRUE(testkit::waitUntil([] { return !keyExists(uninstallKey); }, 30000));
    EXPECT_FALSE(exists(dir)) << "files left";
    EXPECT_FALSE(exists(shortcut));
    EXPECT_EQ(readText(runKey, L"Skarvel"), none);
    EXPECT_EQ(storedNumber(L"Client Switcher"), switcherOn) << "the settings must stay";
}

} // namespace
