#include "clients/strip_draw.h"

#include "core/handles.h"
#include "ui/draw.h"

namespace {
constexpr UINT cellFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
} // namespace

int measureCell(HWND window, const CWString& name, HFONT font, Scale scale) {
    WindowDC dc(window);
    Selection keepFont(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, name.c_str(), name.length(), &extent);
    return extent.cx + scale(24);
}

RECT outOfReachSign(const RECT& cell, Scale scale) {
    const int inset = scale.line(1) + scale(1), side = scale(4);
    return {cell.left + inset, cell.top + inset, cell.left + inset + side, cell.top + inset + side};
}

std::vector<RECT> notAnsweringMark(const RECT& cell, Scale scale) {
    // inside the 12 px margin every cell keeps beside its name
    const int inset = scale.line(1) + scale(2), bar = scale.line(1), gap = scale.line(1);
    const int top = cell.top + scale.line(1) + scale(2), bottom = top + scale(7);
    const int right = cell.right - inset;
    return {{right - 2 * bar - gap, top, right - bar - gap, bottom},
            {right - bar, top, right, bottom}};
}

void drawStrip(HDC dc, int stripWidth, const ClientOrder& order, const ClientRecords& records,
               HWND foreground, HWND hovered, HFONT font, Scale scale) {
    Brush back(CreateSolidBrush(backColor)), accent(CreateSolidBrush(accentColor)),
        warning(CreateSolidBrush(linkColor));
    const RECT all{0, 0, stripWidth, scale(stripHeight)};
    FillRect(dc, &all, back.get());
    SetBkMode(dc, TRANSPARENT);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);

    const std::vector<RECT> cells = cellRects(displayWidths(order, records), scale);
    for (size_t i = 0; i < order.size(); ++i) {
        const RECT& cell = cells[i];
        const ClientRecord& record = records.at(order[i]);
        const bool lit = record.window == foreground || record.window == hovered;
        if (lit) FillRect(dc, &cell, accent.get());
        frameLines(dc, cell, accent.get(), scale.line(1));
        DrawSmoothText(dc, record.name.upperCopy().c_str(),
                       record.minimised ? dimmedTextColor : textColor,
                       lit ? accentColor : backColor, font, cell, cellFormat, !record.minimised,
                       nullptr, scale);
        if (record.outOfReach) {
            const RECT sign = outOfReachSign(cell, scale);
            FillRect(dc, &sign, warning.get());
        }
        if (record.hung)
            for (const RECT& bar : notAnsweringMark(cell, scale))
                FillRect(dc, &bar, warning.get());
    }
}
