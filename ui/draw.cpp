#include "ui/draw.h"

#include "res/resource.h"

Font createUiFont(int height, int weight, bool underline) {
    return Font(CreateFontW(height, 0, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE,
                            ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            VARIABLE_PITCH | FF_SWISS, L"Arial Narrow"));
}

void DrawSmoothText(HDC targetDC, const wchar_t* text, COLORREF glyphColor, COLORREF fillColor,
                    HFONT font, RECT rect, UINT format, bool withShadow, HDC workDC) {
    if (!text) return;
    InflateRect(&rect, -1, -1);
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
        OffsetRect(&large, 6, 6);
        SetTextColor(workDC, shadowColor);
        DrawTextW(workDC, text, -1, &large, format);
        OffsetRect(&large, -6, -6);
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
