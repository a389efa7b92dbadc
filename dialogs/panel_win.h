// What the dialog windows share: click and hover regions, a press that counts only when
// released on the same control, dragging from any free point (Windows' own move, which
// follows monitors of another scale), and a hover clean-up timer.
#pragma once
#include <vector>

#include "core/handles.h"
#include "core/scale.h"
#include "ui/window.h"

// Control ids of both dialogs; -1 is no control.
enum ControlId {
    noControl = -1,
    idLoadAtStartup = 1,
    idShowSwitcher = 2,
    idKeepSwitcherOpen = 3,
    idSwitcherOpensClients = 4,
    idOk = 5,
    idClose = 6,
    idLink = 7,
    idKeys = 8,
    idSwitchKeys = 9,
    idNextKey = 10, // the key fields, in this order
    idPreviousKey = 11,
    idLastKey = 12,
    idPlaceKeys = 13,
    idFitNewClients = 14,
};

struct HitRegion {
    int id;
    RECT rect;
    int hot; // hover list only
};

class HitRegions {
  public:
    // Replaces the rect (and clears the flag) of the click region with this id, or appends.
    void SetClick(int id, const RECT& rect);
    // Replaces only the rect of the hover region with this id, or appends it cold.
    void SetHover(int id, const RECT& rect);
    bool IsHot(int id) const;
    // The first click region holding the point; noControl when none does.
    int HitTest(POINT point) const;
    // The first hot hover region turns cold; later ones are not looked at.
    void ClearFirstHot();
    // Hover regions follow a pointer inside the window: hot where it is, cold elsewhere.
    // Returns the pointed id; `changed` tells whether any flag moved.
    int Track(POINT point, bool& changed);
    // Hot regions that no longer hold the pointer turn cold; true if any did.
    bool CoolOutside(POINT point);

    const std::vector<HitRegion>& Clicks() const { return clicks; }
    const std::vector<HitRegion>& Hovers() const { return hovers; }

  private:
    std::vector<HitRegion> clicks;
    std::vector<HitRegion> hovers;
};

// The dialogs' frame rings, surface and title strip, with the title drawn on the strip;
// `titleLeft` at 96 DPI, `size` in pixels.
void drawDialogFrame(HDC dc, SIZE size, const wchar_t* title, int titleLeft, HBRUSH back,
                     HBRUSH accent, HFONT font, Scale scale = {});
// A push button: framed, or filled while the pointer is on it.
void drawButton(HDC dc, const RECT& rect, const wchar_t* text, bool hot, HBRUSH accent, HFONT font,
                Scale scale = {});

class CPanelWin : public CWindow {
  public:
    HBITMAP BackBuffer() const { return backBuffer.get(); }
    const HitRegions& Regions() const { return regions; }
    int PressedId() const { return pressedId; }
    // The whole picture into a new back buffer of the window's size.
    void Render();
    Scale CurrentScale() const { return scale; }

  protected:
    // `dragFlags` are added to every move of a drag (SWP_NOACTIVATE for a window that must
    // never take the focus, which then also starts its drags itself); the size is at 96 DPI.
    CPanelWin(int width96, int height96, UINT dragFlags);
    ~CPanelWin();

    // Fonts and size at the window's own scale, drawn anew: at its creation, and when it moves
    // to a monitor of another scale (then at Windows' suggested place).
    void FollowScale(Scale newScale, const RECT* suggested = nullptr);
    // The window's own fonts and children at the new scale, after the render at it.
    virtual void ScaleChanged() {}
    // Centred on the monitor of `openedFrom`, at that monitor's scale.
    void CentreOnOpener();

    // The window's own elements, on a surface whose brushes the render made.
    virtual void Draw(HDC dc, HBRUSH back, HBRUSH accent) = 0;
    // A control pressed and released in place.
    virtual void Act(int id) = 0;
    // The cursor for a point in client pixels outside a drag.
    virtual HCURSOR CursorAt(POINT point) const;

    // Messages of the interaction model; false for any other.
    bool HandleShared(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void StartHoverTimer();
    // Render, then have the window repainted from the new buffer.
    void Redraw();
    // A check box and its label in a row given at 96 DPI; only the box is a click region.
    // A push button at its 96-DPI place, a click and a hover region; lit while the pointer is on
    // it.
    void DrawButton(HDC dc, const RECT& rect96, const wchar_t* text, int id, HBRUSH accent);
    void DrawCheckBox(HDC dc, const RECT& row96, const wchar_t* text, DWORD flag, int id,
                      HBRUSH shadowBrush, HBRUSH textBrush);
    // Posts WM_CLOSE and takes the highlight off the pressed button.
    void CloseSoon();

    const SIZE size96;
    Scale scale;
    int width;
    int height;
    // The window that asked for this one: the window opens on its monitor.
    HWND openedFrom = nullptr;
    Font textFont;
    HitRegions regions;

  private:
    void OnPress(POINT point);
    // A press on no control, which the hit test made a caption press: a drag.
    void OnDragPress(LPARAM screenPoint);
    void OnMove(POINT point);
    void OnRelease(POINT point);
    void OnHoverCheck();

    const UINT dragFlags;
    Bitmap backBuffer;
    int pressedId = noControl;
    bool moving = false; // Windows' move loop runs
};
