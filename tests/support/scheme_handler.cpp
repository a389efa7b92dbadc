#include "tests/support/scheme_handler.h"

#include "tests/support/testkit.h"

namespace {

constexpr wchar_t commandKey[] = L"Software\\Classes\\https\\shell\\open\\command";

DWORD ownerOf(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner;
}

} // namespace

SchemeHandler::SchemeHandler() {
    const std::wstring command =
        L"\"" + testkit::binDir() + L"qor.exe\" --title \"%1\" --pos 20,20 --size 200x100";
    // the user's classes win on Windows; Wine reads the machine's
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        Saved saved{root, false, {}};
        wchar_t old[2048] = {};
        DWORD size = sizeof old;
        saved.existed = RegGetValueW(root, commandKey, nullptr, RRF_RT_REG_SZ, nullptr, old,
                                     &size) == ERROR_SUCCESS;
        saved.old = old;
        RegSetKeyValueW(root, commandKey, nullptr, REG_SZ, command.c_str(),
                        DWORD((command.size() + 1) * sizeof(wchar_t)));
        saves.push_back(saved);
    }
}

SchemeHandler::~SchemeHandler() {
    for (const Saved& s : saves) {
        if (s.existed)
            RegSetKeyValueW(s.root, commandKey, nullptr, REG_SZ, s.old.c_str(),
                            DWORD((s.old.size() + 1) * sizeof(wchar_t)));
        else
            RegDeleteKeyValueW(s.root, commandKey, nullptr);
    }
    for (HWND window : testkit::findWindows(L"qorMainView", 0)) {
        wchar_t title[16] = {};
        GetWindowTextW(window, title, 16);
        if (wcsncmp(title, L"https:", 6) == 0) testkit::Process::adopt(ownerOf(window)).kill();
    }
}

std::vector<HWND> SchemeHandler::opened(const std::wstring& address) const {
    std::vector<HWND> found;
    for (HWND window : testkit::findWindows(L"qorMainView", 0)) {
        wchar_t title[2048] = {};
        GetWindowTextW(window, title, 2048);
        if (address == title) found.push_back(window);
    }
    return found;
}
