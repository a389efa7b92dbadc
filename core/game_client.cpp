#include "core/game_client.h"

// after windows.h, which it needs
#include <shellapi.h>

CWString clientFolder(const CWString& clientPath) {
    const wchar_t* path = clientPath.c_str();
    int separator = -1;
    for (int i = 0; i < clientPath.length(); ++i)
        if (path[i] == L'\\' || path[i] == L'/') separator = i;
    CWString folder(path);
    if (separator < 0) {
        folder.assign(L"");
    } else {
        // "C:" alone would be the drive's current folder, not its root
        const bool root = separator == 0 || (separator == 2 && path[1] == L':');
        folder.resize(separator + (root ? 1 : 0) + 1);
    }
    return folder;
}

void openClient(const CWString& clientPath) {
    if (clientPath.length() == 0) return;
    // a game may load its data relative to its working folder
    const CWString folder = clientFolder(clientPath);
    ShellExecuteW(nullptr, L"open", clientPath.c_str(), L"",
                  folder.length() ? folder.c_str() : nullptr, SW_SHOWNORMAL);
}
