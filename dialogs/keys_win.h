// The keys window: whether clients switch with keys, and each key, taken from the keyboard;
// saved only on OK.
#pragma once
#include <string>

#include "dialogs/panel_win.h"

// At 96 DPI.
inline constexpr int keysWidth = 260;
inline constexpr int keysHeight = 140;
// The fields of next, previous, last and by place, ids idNextKey to idPlaceKeys.
inline constexpr int keyFieldCount = 4;
inline constexpr RECT keyFieldRects[keyFieldCount] = {
    {96, 40, 252, 55}, {96, 58, 252, 73}, {96, 76, 252, 91}, {96, 94, 252, 109}};

class CKeysWin : public CPanelWin {
  public:
    CKeysWin();
    ~CKeysWin();

    HWND opener = nullptr;

    // Opens the window anew, in front and centred on the monitor of `openedFromWindow`; OK
    // reports to `openerWindow`. The new window, or NULL.
    HWND Create(HWND openerWindow, HWND openedFromWindow);

    // The field waiting for keys, or noControl.
    int Waiting() const { return waitingId; }
    // What a field (0 to 3) shows: its key in words or "NONE", while it waits what is held;
    // with "TAKEN" when another program holds the key, "IN USE" when another field has it.
    struct Shown {
        std::wstring text;
        const wchar_t* tag = nullptr;
    };
    Shown FieldShows(int field) const;

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void OnCreate();
    void Draw(HDC dc, HBRUSH back, HBRUSH accent) override;
    void DrawField(HDC dc, int field, HBRUSH accent, HBRUSH textBrush);
    void Act(int id) override;
    // True when the key message is taken here and must not reach DefWindowProcW.
    bool OnKey(UINT msg, WPARAM vk, LPARAM lParam);
    void OnWaitingKeyDown(UINT vk);
    void Take(DWORD value);
    void StopWaiting();
    bool HeldElsewhere(int field) const;

    // working copies, filled at each opening; keys as stored, the place field's modifiers only
    DWORD switchKeys = 0;
    DWORD keys[keyFieldCount] = {};
    bool taken[keyFieldCount] = {};
    int waitingId = noControl;
    // a combination another field has, pressed into the waiting field
    DWORD refused = 0;
    // the key messages still to come of a combination just taken
    bool tail = false;
};
