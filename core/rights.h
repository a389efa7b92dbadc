// The rights a process runs with, as Windows ranks them.
#pragma once
#include <windows.h>

// The integrity level of a process (its token's mandatory label: 0x2000 medium, 0x3000 high
// for one started as administrator), 0 when it cannot be read.
DWORD integrityLevel(HANDLE process);
