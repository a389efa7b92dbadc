#include "ui/draw.h"

#include <cwchar>

#include "res/resource.h"

namespace {

// Arial Narrow's glyphs are Arial's at this share of the width.
constexpr int narrowPercent = 82;

HFONT makeFont(const wchar_t* face, int height, int width, int weight, bool underline) {
    return CreateFontW(height, width, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       VARIABLE_PITCH | FF_SWISS, face);
}

int CALLBACK noteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

} // namespace

const wchar_t* firstInstalledFace(const std::function<bool(const wchar_t*)>& installed) {
    for (const wchar_t* face : narrowFaces)
        if (installed(face)) return face;
    return nullptr;
}

bool faceInstalled(const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy_s(wanted.lfFaceName, face, _TRUNCATE);
    WindowDC screen(nullptr);
    bool found = false;
    EnumFontFamiliesExW(screen, &wanted, noteFamily, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

Font createUiFontIn(const wchar_t* face, int height, int weight, bool underline) {
    if (face) return Font(makeFont(face, height, 0, weight, underline));
    // a width of 0 lets the system pick Arial's own; a given average width squeezes it
    Font plain(makeFont(L"Arial", height, 0, weight, underline));
    WindowDC screen(nullptr);
    TEXTMETRICW metrics{};
    {
        Selection keepFont(screen, plain.get());
        GetTextMetricsW(screen, &metrics);
    }
    const int width = MulDiv(metrics.tmAveCharWidth, narrowPercent, 100);
    return Font(makeFont(L"Arial", height, width > 0 ? width : 1, weight, underline));
}

Font createUiFont(int height, int weight, bool underline) {
    // looked up once: every window draws and measures in the same face
    static const wchar_t* const face = firstInstalledFace(faceInstalled);
    return createUiFontIn(face, height, weight, underline);
}

void DrawSmoothText(HDC targetDC, const wchar_t* text, COLORREF glyphColor, COLORREF fillColor,
                    HFONT font, RECT rect, UINT format, bool withShadow, HDC workDC, Scale scale) {
    if (!text) return;
    const int margin = scale.line(1);
    InflateRect(&rect, -margin, -margin);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return;
    RECT large{0, 0, textScale * width, textScale * height};

    MemoryDC ownDC;
    if (!workDC) {
        ownDC.reset(CreateCompatibleDC(targetDC));
        workDC = ownDC;
        SetBkMode(workDC, TRANSPARENT);
    }
    if (!workDC) return;
    Bitmap canvas(CreateCompatibleBitmap(targetDC, large.right, large.bottom));
    if (!canvas) return;
    Selection keepCanvas(workDC, canvas.get()), keepFont(workDC, font);
    Brush fill(CreateSolidBrush(fillColor));
    FillRect(workDC, &large, fill.get());

    format |= DT_SINGLELINE;
    if (withShadow) {
        // 6 px at five times the size: the shadow lands 1.2 px right of and below the glyphs
        const int offset = scale(6);
        OffsetRect(&large, offset, offset);
        SetTextColor(workDC, shadowColor);
        DrawTextW(workDC, text, -1, &large, format);
        OffsetRect(&large, -offset, -offset);
    }
    SetTextColor(workDC, glyphColor);
    DrawTextW(workDC, text, -1, &large, format);

    StretchBlt(targetDC, rect.left, rect.top, width, height, workDC, 0, 0, large.right,
               large.bottom, SRCCOPY);
}

void paintBackBuffer(HWND hwnd, HBITMAP backBuffer, HDC keptDC) {
    PaintDC paint(hwnd);
    RECT client{};
    GetClientRect(hwnd, &client);
    if (!backBuffer) return;
    MemoryDC ownDC;
    if (!keptDC) {
        ownDC.reset(CreateCompatibleDC(paint));
        keptDC = ownDC;
    }
    Selection keepBuffer(keptDC, backBuffer);
    BitBlt(paint, 0, 0, client.right, client.bottom, keptDC, 0, 0, SRCCOPY);
}

void setPointerCursor(HINSTANCE instance) {
    SetCursor(LoadCursorW(instance, MAKEINTRESOURCEW(IDC_POINTER)));
}
