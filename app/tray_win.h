// The hidden owner window: carries out the program's top-level commands.
#pragma once
#include "ui/handles.h"
#include "ui/window.h"

class CTrayWin : public CWindow {
  public:
    KernelHandle setClientsThread;
    KernelHandle restoreThread;

    CTrayWin();
    ~CTrayWin();

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void OnCommand(WPARAM command);
};
