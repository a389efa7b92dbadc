// The configuration window: the switches and the client path, saved only on OK.
#pragma once
#include "dialogs/panel_win.h"

// At 96 DPI.
inline constexpr int configWidth = 215;
inline constexpr int configHeight = 155;

class CConfigWin : public CPanelWin {
  public:
    CConfigWin();
    ~CConfigWin();

    HWND opener = nullptr;

    // Opens the window anew, centred and in front; OK reports to `openerWindow`.
    // The new window, or NULL.
    HWND Create(HWND openerWindow);

    HWND EditField() const { return editField; }

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void OnCreate();
    void Draw(HDC dc, HBRUSH back, HBRUSH accent) override;
    void ScaleChanged() override;
    void Act(int id) override;

    // working copies, filled at each opening
    DWORD loadAtStartup = 0;
    DWORD showSwitcher = 0;
    DWORD keepSwitcherOpen = 0;
    DWORD switcherOpensClients = 0;
    DWORD fitNewClients = 0;
    HWND editField = nullptr;
    RECT editRect{};
    Brush editBrush;
    Font editFont;
};
