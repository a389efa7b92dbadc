// The strip's picture: its cells in display order, the client in front and the hovered one lit,
// and each cell's state.
#pragma once
#include <windows.h>

#include <vector>

#include "clients/switcher_model.h"
#include "core/scale.h"

// The name of a minimised client: between the text and the ground, readable on either fill.
inline constexpr COLORREF dimmedTextColor = RGB(125, 125, 125);

// A cell's width for a name: the name in the measuring font, and a 12 px margin each side.
int measureCell(HWND window, const CWString& name, HFONT font, Scale scale);

// The sign on the cell of a client the program may not change: a small square in the cell's
// top-left corner, inside its frame.
RECT outOfReachSign(const RECT& cell, Scale scale = {});
// The mark on the cell of a client that does not answer: two upright bars, a pause, in the
// cell's right margin.
std::vector<RECT> notAnsweringMark(const RECT& cell, Scale scale = {});

// The whole strip into a DC holding a stripWidth x stripHeight bitmap. The light of the client
// in front and of the hovered one shows under any state.
void drawStrip(HDC dc, int stripWidth, const ClientOrder& order, const ClientRecords& records,
               HWND foreground, HWND hovered, HFONT font, Scale scale = {});
