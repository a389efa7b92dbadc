#include "dialogs/version_win.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "core/wstring.h"
#include "ui/draw.h"

namespace {

constexpr wchar_t creditLine[] = L"FOR PLAYERS OF MANY CLIENTS";
constexpr UINT lineFormat = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;

} // namespace

// Dragging must not activate it either.
CVersionWin::CVersionWin()
    : CPanelWin(versionWidth, versionHeight, SWP_NOACTIVATE),
      linkFont(createUiFont(scale(textFontHeight), FW_BOLD, true)) {}

CVersionWin::~CVersionWin() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

HWND CVersionWin::Create(HWND openerWindow) {
    openedFrom = openerWindow;
    return createWindow(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE,
                        0, 0, width, height);
}

void CVersionWin::ScaleChanged() {
    linkFont = createUiFont(scale(textFontHeight), FW_BOLD, true);
}

void CVersionWin::Draw(HDC dc, HBRUSH back, HBRUSH accent) {
    drawDialogFrame(dc, {width, height}, versionTitle, 6, back, accent, textFont.get(), scale);

    const RECT link = scale(linkRect);
    regions.SetClick(idLink, link);
    regions.SetHover(idLink, link);
    DrawSmoothText(dc, CWString(supportAddress).upperCopy().c_str(), linkColor, backColor,
                   regions.IsHot(idLink) ? linkFont.get() : textFont.get(), link, lineFormat, false,
                   nullptr, scale);
    DrawSmoothText(dc, creditLine, textColor, backColor, textFont.get(),
                   scale(RECT{8, 38, 328, 53}), lineFormat, true, nullptr, scale);

    // over the right end of the credit line's box
    DrawButton(dc, {288, 38, 328, 53}, L"CLOSE", idClose, accent);
}

void CVersionWin::Act(int id) {
    if (id == idClose) {
        CloseSoon();
    } else if (id == idLink) {
        // the window stays open; a failure has nowhere to be shown
        ShellExecuteW(nullptr, L"open", supportAddress, L"", nullptr, SW_SHOWNORMAL);
    }
}

HCURSOR CVersionWin::CursorAt(POINT point) const {
    // chosen on WM_SETCURSOR too, so the cursor does not flicker over the link
    const RECT link = scale(linkRect);
    if (PtInRect(&link, point)) return LoadCursorW(nullptr, IDC_HAND);
    return CPanelWin::CursorAt(point);
}

LRESULT CVersionWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        FollowScale(Scale::ofWindow(window));
        CentreOnOpener();
        StartHoverTimer();
        return 0;
    }
    // never activated by a click, whatever the system makes of WS_EX_NOACTIVATE
    if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    LRESULT result = 0;
    if (HandleShared(msg, wParam, lParam, result)) return result;
    return DefWindowProcW(window, msg, wParam, lParam);
}
