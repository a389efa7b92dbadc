// Resource ids shared by the resource script and the code.
#pragma once

#define IDC_POINTER 101
#define IDC_MOVE 103
#define IDI_APP 104
#define IDI_TRAY 105
