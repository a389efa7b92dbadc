#include "dialogs/panel_win.h"

#include "res/resource.h"
#include "ui/draw.h"

namespace {

constexpr UINT_PTR hoverTimer = 0;
constexpr UINT hoverPeriod = 90;
constexpr UINT titleFormat = DT_VCENTER | DT_SINGLELINE;
constexpr UINT labelFormat = DT_VCENTER | DT_SINGLELINE;
constexpr UINT buttonFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

} // namespace

void HitRegions::SetClick(int id, const RECT& rect) {
    for (HitRegion& region : clicks) {
        if (region.id == id) {
            region.rect = rect;
            region.hot = 0;
            return;
        }
    }
    clicks.push_back({id, rect, 0});
}

void HitRegions::SetHover(int id, const RECT& rect) {
    for (HitRegion& region : hovers) {
        if (region.id == id) {
            region.rect = rect;
            return;
        }
    }
    hovers.push_back({id, rect, 0});
}

bool HitRegions::IsHot(int id) const {
    for (const HitRegion& region : hovers)
        if (region.id == id) return region.hot != 0;
    return false;
}

int HitRegions::HitTest(POINT point) const {
    for (const HitRegion& region : clicks)
        if (PtInRect(&region.rect, point)) return region.id;
    return noControl;
}

void HitRegions::ClearFirstHot() {
    for (HitRegion& region : hovers) {
        if (region.hot) {
            region.hot = 0;
            return;
        }
    }
}

int HitRegions::Track(POINT point, bool& changed) {
    int pointed = noControl;
    changed = false;
    for (HitRegion& region : hovers) {
        const bool inside = PtInRect(&region.rect, point) != FALSE;
        if (inside) pointed = region.id;
        if (inside != (region.hot != 0)) {
            region.hot = inside;
            changed = true;
        }
    }
    return pointed;
}

bool HitRegions::CoolOutside(POINT point) {
    bool changed = false;
    for (HitRegion& region : hovers) {
        if (region.hot && !PtInRect(&region.rect, point)) {
            region.hot = 0;
            changed = true;
        }
    }
    return changed;
}

void drawDialogFrame(HDC dc, SIZE size, const wchar_t* title, int titleLeft, HBRUSH back,
                     HBRUSH accent, HFONT font, Scale scale) {
    // an outer ring of the surface colour, then the accent line just outside the surface
    const int margin = scale(2), line = scale.line(1);
    const RECT outer{0, 0, size.cx, size.cy},
        inner{margin - line, margin - line, size.cx - margin + line, size.cy - margin + line},
        surface{margin, margin, size.cx - margin, size.cy - margin},
        strip{margin, margin, size.cx - margin, scale(16)};
    frameLines(dc, outer, back, margin - line);
    frameLines(dc, inner, accent, line);
    FillRect(dc, &surface, back);
    FillRect(dc, &strip, accent);
    DrawSmoothText(dc, title, textColor, accentColor, font,
                   {scale(titleLeft), margin, size.cx - margin, scale(16)}, titleFormat, true,
                   nullptr, scale);
}

void drawButton(HDC dc, const RECT& rect, const wchar_t* text, bool hot, HBRUSH accent, HFONT font,
                Scale scale) {
    if (hot)
        FillRect(dc, &rect, accent);
    else
        frameLines(dc, rect, accent, scale.line(1));
    DrawSmoothText(dc, text, textColor, hot ? accentColor : backColor, font, rect, buttonFormat,
                   true, nullptr, scale);
}

CPanelWin::CPanelWin(int width96, int height96, UINT dragFlags)
    : size96{width96, height96}, scale(Scale::ofScreen()), width(scale(width96)),
      height(scale(height96)), textFont(createUiFont(scale(textFontHeight), FW_BOLD)),
      dragFlags(dragFlags) {}

void CPanelWin::FollowScale(Scale newScale, const RECT* suggested) {
    const bool changed = newScale != scale;
    if (changed) {
        scale = newScale;
        width = scale(size96.cx);
        height = scale(size96.cy);
        textFont = createUiFont(scale(textFontHeight), FW_BOLD);
    }
    Render();
    if (changed) ScaleChanged(); // after the render, which places the controls
    // the size is the scaled 96-DPI one, which Windows' suggestion matches but for rounding
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    POINT at{0, 0};
    if (suggested)
        at = {suggested->left, suggested->top};
    else
        flags |= SWP_NOMOVE;
    SetWindowPos(hwnd, nullptr, at.x, at.y, width, height, flags);
    InvalidateRect(hwnd, nullptr, FALSE);
}

CPanelWin::~CPanelWin() = default;

void CPanelWin::Render() {
    if (!IsWindow(hwnd)) return;
    MemoryDC mem;
    {
        WindowDC screen(hwnd);
        backBuffer.reset(CreateCompatibleBitmap(screen, width, height));
        mem.reset(CreateCompatibleDC(screen));
    }
    if (!backBuffer || !mem.get()) return;
    Selection keepBuffer(mem, backBuffer.get());
    SetBkMode(mem, TRANSPARENT);
    SetStretchBltMode(mem, HALFTONE);
    SetBrushOrgEx(mem, 0, 0, nullptr);
    Brush back(CreateSolidBrush(backColor)), accent(CreateSolidBrush(accentColor));
    Draw(mem, back.get(), accent.get());
}

void CPanelWin::Redraw() {
    Render();
    InvalidateRect(hwnd, nullptr, FALSE);
}

void CPanelWin::DrawButton(HDC dc, const RECT& rect96, const wchar_t* text, int id, HBRUSH accent) {
    const RECT rect = scale(rect96);
    regions.SetClick(id, rect);
    regions.SetHover(id, rect);
    drawButton(dc, rect, text, regions.IsHot(id), accent, textFont.get(), scale);
}

void CPanelWin::DrawCheckBox(HDC dc, const RECT& row96, const wchar_t* text, DWORD flag, int id,
                             HBRUSH shadowBrush, HBRUSH textBrush) {
    const LONG left = row96.left, top = row96.top;
    const RECT box = scale(RECT{left, top + 3, left + 9, top + 12});
    const int line = scale.line(1);
    RECT shadow = box;
    OffsetRect(&shadow, line, line);
    frameLines(dc, shadow, shadowBrush, line);
    regions.SetClick(id, box); // the box only, not its label
    frameLines(dc, box, textBrush, line);
    if (flag) {
        const RECT mark = scale(RECT{left + 2, top + 5, left + 7, top + 10});
        FillRect(dc, &mark, textBrush);
    }
    DrawSmoothText(dc, text, textColor, backColor, textFont.get(),
                   scale(RECT{left + 13, top + 1, row96.right, row96.bottom}), labelFormat, true,
                   nullptr, scale);
}

void CPanelWin::CloseSoon() {
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    // the lists outlive the window: the next opening shows no highlight
    regions.ClearFirstHot();
}

void CPanelWin::CentreOnOpener() {
    const Scale before = scale;
    centre(hwnd, openedFrom);
    // the move may have brought it to a monitor of another scale, and so to another size
    if (scale != before) centre(hwnd, openedFrom);
}

HCURSOR CPanelWin::CursorAt(POINT) const {
    return LoadCursorW(hInstance, MAKEINTRESOURCEW(IDC_POINTER));
}

void CPanelWin::StartHoverTimer() {
    SetTimer(hwnd, hoverTimer, hoverPeriod, nullptr);
}

bool CPanelWin::HandleShared(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (msg) {
    case WM_DESTROY:
        KillTimer(hwnd, hoverTimer);
        return true;
    case WM_PAINT:
        paintBackBuffer(hwnd, backBuffer.get());
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_DPICHANGED:
        FollowScale(scaleFromDpiChange(wParam), reinterpret_cast<const RECT*>(lParam));
        return true;
    case WM_SETCURSOR: {
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(hwnd, &cursor);
        SetCursor(CursorAt(cursor));
        return true;
    }
    case WM_TIMER:
        if (wParam == hoverTimer) OnHoverCheck();
        return true;
    case WM_NCHITTEST: {
        // every point on no control is a caption, so a press there drags the window
        result = DefWindowProcW(hwnd, msg, wParam, lParam);
        POINT point = pointFromLParam(lParam);
        ScreenToClient(hwnd, &point);
        if (result == HTCLIENT && regions.HitTest(point) == noControl) result = HTCAPTION;
        return true;
    }
    case WM_MOUSEMOVE:
        OnMove(pointFromLParam(lParam));
        return true;
    case WM_NCMOUSEMOVE: {
        // over a free point: hover and a pending press follow it as over the controls
        POINT point = pointFromLParam(lParam);
        ScreenToClient(hwnd, &point);
        OnMove(point);
        return true;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnPress(pointFromLParam(lParam));
        return true;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: // each press of a double click drags
        if (wParam != HTCAPTION) return false;
        OnDragPress(lParam);
        return true;
    case WM_LBUTTONUP:
        OnRelease(pointFromLParam(lParam));
        return true;
    case WM_NCRBUTTONDOWN:
    case WM_CONTEXTMENU:
        return true; // no system menu
    case WM_ENTERSIZEMOVE:
        moving = true;
        return true;
    case WM_EXITSIZEMOVE:
        moving = false;
        return true;
    case WM_WINDOWPOSCHANGING:
        if (moving) reinterpret_cast<WINDOWPOS*>(lParam)->flags |= dragFlags;
        return false;
    default:
        return false;
    }
}

void CPanelWin::OnPress(POINT point) {
    // a client press is on a control: the hit test made every other point a caption
    pressedId = regions.HitTest(point);
}

void CPanelWin::OnDragPress(LPARAM screenPoint) {
    pressedId = noControl;
    SetCursor(LoadCursorW(hInstance, MAKEINTRESOURCEW(IDC_MOVE)));
    if (dragFlags & SWP_NOACTIVATE)
        // not through DefWindowProcW, which may bring the window to the front first
        SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, screenPoint);
    else
        // activated as a click on it would, then moved
        DefWindowProcW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, screenPoint);
}

void CPanelWin::OnMove(POINT point) {
    bool changed = false;
    const int pointed = regions.Track(point, changed);
    SetCursor(CursorAt(point));
    if (changed) Redraw();
    // check boxes are no hover regions: any move away from the pressed control drops it
    if (pointed != pressedId) pressedId = noControl;
}

void CPanelWin::OnRelease(POINT point) {
    const int id = regions.HitTest(point);
    const int pressed = pressedId;
    pressedId = noControl;
    if (id == pressed && id != noControl) Act(id);
}

void CPanelWin::OnHoverCheck() {
    // no leave tracking: the timer takes the highlight off once the pointer has gone
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(hwnd, &cursor);
    if (regions.CoolOutside(cursor)) Redraw();
}
