// The switcher strip of a running skarvel.exe, seen and driven from another process.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/scale.h"
#include "tests/support/skarvel_process.h"

// The program's strip: its "__CWindowClass" tool window 17 px high at 96 DPI, shown or not.
HWND findSwitcher(DWORD pid);
RECT windowRect(HWND window);
int windowWidth(HWND window);

// What the strip should be for names in display order at the screen's scale (the program's
// under Wine): each cell is the name's width in the 14 px measuring font plus 24, both at
// 96 DPI scaled, cells share a border line, the strip adds two.
int predictedCellWidth(const std::wstring& name, Scale scale = Scale::ofScreen());
std::vector<RECT> predictedCells(const std::vector<std::wstring>& namesInOrder);
int predictedStripWidth(const std::vector<std::wstring>& names);

// A left click at a point in the strip's client pixels, as mouse messages to the window.
bool clickAt(HWND strip, POINT point);
POINT middleOf(const RECT& cell);
