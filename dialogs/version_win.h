// The version window.
#pragma once
#include "ui/window.h"

class CVersionWin : public CWindow {
  public:
    CVersionWin();
    ~CVersionWin();

    HWND opener = nullptr;

    // Opens the window anew; its notifications go to `openerWindow`.
    bool Create(HWND openerWindow);

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
};
