// What the program relies on from the game client, another company's program.
#pragma once
#include <windows.h>

#include <cwchar>

#include "core/wstring.h"

// Every top-level window of this class (exact, case-sensitive) is a client.
inline constexpr wchar_t clientClassName[] = L"qorMainView";
// Class names are read into a buffer of this many characters.
inline constexpr int classNameBufferSize = 50;

// The installer's entry; its "InstallLocation" plus the executable name is the client path.
inline constexpr wchar_t clientUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QOR";
inline constexpr wchar_t clientInstallValue[] = L"InstallLocation";
inline constexpr wchar_t clientExecutable[] = L"\\qor.exe";

// Titles are a prefix of this many characters and the character's name, or just "QOR".
inline constexpr int clientTitlePrefixLength = 6;
inline constexpr wchar_t clientBareTitle[] = L"QOR";

inline bool isClientClass(const wchar_t* className) {
    return wcscmp(className, clientClassName) == 0;
}

inline bool isClientWindow(HWND window) {
    wchar_t className[classNameBufferSize];
    return window && GetClassNameW(window, className, classNameBufferSize) &&
           isClientClass(className);
}

// The folder of a client path, where its shortcut would start it: everything before the last
// separator, the separator kept after a drive or alone so a root stays a root; empty for a
// path without a folder.
CWString clientFolder(const CWString& clientPath);

// Starts a new client from its executable through the shell, without arguments and in its
// own folder, as the installer's shortcut would; an empty path does nothing.
void openClient(const CWString& clientPath);
