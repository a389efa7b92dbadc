// The program's own popup menu: custom-drawn, topmost, never activated. A click on an item
// hides the menu and posts UM_COMMAND with the item's id to the opener.
#pragma once
#include <vector>

#include "core/handles.h"
#include "core/scale.h"
#include "core/wstring.h"
#include "ui/window.h"

struct MenuItem {
    CWString text;
    int id;
};

// At 96 DPI.
inline constexpr int menuItemHeight = 15;

// Pure geometry, in client coordinates of a menu of the given size. Rows lie where the 96-DPI
// rows would, scaled, so the menu is as tall as the 96-DPI one scaled.
SIZE menuSize(int widestLabel, int itemCount, Scale scale = {});
RECT menuRowRect(int index, int menuWidth, Scale scale = {});
RECT menuLabelRect(int index, int menuWidth, Scale scale = {});
// Row under a point: -1 outside the menu; the frame above the first row counts as row 0
// and the frame below the last row gives itemCount, which is no item.
int menuRowAt(POINT point, SIZE menu, Scale scale = {});
// Where the menu opens for a point: upward when it would cross the work area's bottom,
// pushed left when it would cross its right edge, and always wholly inside the work area
// (its top and left edges win), so a point on a taskbar on any side opens it beside that.
POINT menuOrigin(POINT at, SIZE menu, const RECT& workArea);
// Whether an open menu stays open with the pointer here: near the menu (6 px), or anywhere
// between the point where it was opened and the menu, the way from a taskbar to it.
bool menuKeepsOpen(POINT pointer, const RECT& menu, POINT openedAt, Scale scale = {});

class CMenuWin : public CWindow {
  public:
    HWND opener = nullptr;

    CMenuWin();
    ~CMenuWin();

    void AppendItem(const CWString& text, int id, bool relayout);
    void ReplaceItemText(const CWString& oldText, const CWString& newText, bool relayout);
    void ClearItems();
    void Layout();
    // Opens at a point, laid out at the scale of the monitor under it.
    void ShowAt(int x, int y);
    void Render();
    // Fonts and sizes at this scale; an open menu is laid out anew where it was opened.
    void SetScale(Scale newScale);

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    const std::vector<MenuItem>& Items() const { return items; }
    SIZE Size() const { return {width, height}; }
    int HoverIndex() const { return hoverIndex; }
    HBITMAP BackBuffer() const { return backBuffer.get(); }
    Scale CurrentScale() const { return scale; }

  private:
    int MeasureLabel(const CWString& label) const;
    int IdAt(POINT point) const;
    void OnMouseMove(POINT point);
    void OnPress(POINT point);
    void OnRelease(POINT point);
    void OnLeaveCheck();
    void Dismiss();
    // Rendered and placed for `openedAt` inside its monitor's work area.
    void Place(UINT flags);

    MemoryDC paintDC;
    MemoryDC renderDC;
    MemoryDC textDC;
    Bitmap backBuffer;
    Scale scale;
    int width = 0;
    int height = 0;
    int pressedId = -1;
    Font textFont;
    Font measureFont;
    int hoverIndex = -1;
    POINT openedAt{0, 0};
    std::vector<MenuItem> items;
};
