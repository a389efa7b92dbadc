// The version window.
#pragma once
#include "ui/window.h"

class CVersionWin : public CWindow {
  public:
    CVersionWin();
    ~CVersionWin();

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
};
