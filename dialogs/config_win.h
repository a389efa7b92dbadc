// The configuration window.
#pragma once
#include "ui/window.h"

class CConfigWin : public CWindow {
  public:
    CConfigWin();
    ~CConfigWin();

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
};
