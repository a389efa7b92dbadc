// The client switcher strip: one cell per running client.
#pragma once
#include "ui/window.h"

inline constexpr int stripHeight = 17;

class CSelectorWin : public CWindow {
  public:
    HWND opener = nullptr;

    CSelectorWin();
    ~CSelectorWin();

    // Creates the strip at the stored position; on success `opener` gets its commands.
    bool Create(HWND openerWindow);
    // Follows changed settings: rebuilds its menu and list.
    void ApplySettings();

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
};
