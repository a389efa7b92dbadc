#include "core/globals.h"

HINSTANCE moduleInstance = nullptr;
CConfigWin* configWindow = nullptr;
CVersionWin* versionWindow = nullptr;
CKeysWin* keysWindow = nullptr;
