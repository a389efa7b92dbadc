// The version window: the product line, a link to the support page and a credit line.
// It never becomes the active window.
#pragma once
#include "dialogs/panel_win.h"
#include "skarvel_version.h"

// At 96 DPI.
inline constexpr int versionWidth = 336;
inline constexpr int versionHeight = 61;
inline constexpr wchar_t versionTitle[] = L"SKARVEL " SKARVEL_SHORT_VERSION;
// Opened exactly as stored; shown in capitals.
inline constexpr wchar_t supportAddress[] = L"https://skarvel.example/support";
inline constexpr RECT linkRect{8, 20, 328, 34};

class CVersionWin : public CPanelWin {
  public:
    CVersionWin();
    ~CVersionWin();

    // Opens the window anew, centred on the opener's monitor (the pointer's for a hidden
    // opener), without taking the focus. This window reports nothing. The new window, or NULL.
    HWND Create(HWND openerWindow);

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void Draw(HDC dc, HBRUSH back, HBRUSH accent) override;
    void ScaleChanged() override;
    void Act(int id) override;
    HCURSOR CursorAt(POINT point) const override;

    Font linkFont;
};
