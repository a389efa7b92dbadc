#include "clients/game_client.h"

// after windows.h, which it needs
#include <shellapi.h>

void openClient(const CWString& clientPath) {
    if (clientPath.length() == 0) return;
    ShellExecuteW(nullptr, L"open", clientPath.c_str(), L"", nullptr, SW_SHOWNORMAL);
}
