#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "app/tray_win.h"
#include "res/resource.h"
#include "tests/support/testkit.h"
#include "ui/draw.h"

namespace {

constexpr COLORREF sentinel = RGB(1, 2, 3);

// A 32-bit canvas like a window's back buffer, filled with a colour nothing draws.
struct Canvas {
    Canvas(int width, int height) : width(width), height(height) {
        WindowDC screen(nullptr);
        dc.reset(CreateCompatibleDC(screen));
        bitmap.reset(CreateCompatibleBitmap(screen, width, height));
        SetStretchBltMode(dc, HALFTONE);
        SetBkMode(dc, TRANSPARENT);
        Selection keep(dc, bitmap.get());
        Brush fill(CreateSolidBrush(sentinel));
        RECT all{0, 0, width, height};
        FillRect(dc, &all, fill.get());
    }
    // draws with the bitmap selected, as a render does
    template <class F> void draw(F f) {
        Selection keep(dc, bitmap.get());
        f(dc.get());
    }
    testkit::Pixels pixels() const { return testkit::readBitmap(bitmap.get()); }

    int width, height;
    MemoryDC dc;
    Bitmap bitmap;
};

int count(const testkit::Pixels& p, COLORREF colour, RECT area) {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            n += p.at(x, y) == colour;
    return n;
}

TEST(HandleOwners, SelectionRestoresAndOwnersFree) {
    WindowDC screen(nullptr);
    MemoryDC dc(screen);
    const HGDIOBJ original = GetCurrentObject(dc, OBJ_BITMAP);
    const DWORD pid = GetCurrentProcessId();
    const long before = testkit::countGdiObjects(pid);
    {
        Bitmap bitmap(CreateCompatibleBitmap(screen, 8, 8));
        Brush brush(CreateSolidBrush(accentColor));
        Selection keep(dc, bitmap.get());
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), bitmap.get());
        EXPECT_EQ(testkit::countGdiObjects(pid), before + 2);
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), original);
    EXPECT_EQ(testkit::countGdiObjects(pid), before);
}

TEST(UiFont, TheFirstInstalledNarrowFaceAndNeverAWiderOne) {
    struct Row {
        const char* what;
        std::vector<std::wstring> installed;
        const wchar_t* expected;
    } rows[] = {
        {"with Office",
         {L"Arial", L"Arial Narrow", L"Bahnschrift", L"Bahnschrift SemiCondensed"},
         L"Arial Narrow"},
        {"Windows alone",
         {L"Arial", L"Bahnschrift", L"Bahnschrift SemiCondensed", L"Bahnschrift Condensed"},
         L"Bahnschrift SemiCondensed"},
        {"only the narrowest", {L"Arial", L"Bahnschrift Condensed"}, L"Bahnschrift Condensed"},
        {"no narrow face", {L"Arial", L"Bahnschrift"}, nullptr},
    };
    for (const Row& row : rows) {
        const wchar_t* face = firstInstalledFace([&](const wchar_t* name) {
            for (const std::wstring& installed : row.installed)
                if (installed == name) return true;
            return false;
        });
        EXPECT_EQ(face ? std::wstring(face) : L"<none>",
                  row.expected ? std::wstring(row.expected) : L"<none>")
            << row.what;
    }

    // what this system draws in, and Arial squeezed for a system with no narrow face: both
    // clearly narrower than Arial (Arial Narrow is about 0.82 of it), neither unreadably so
    auto widthOf = [](HFONT font) {
        WindowDC screen(nullptr);
        Selection keep(screen, font);
        SIZE extent{};
        GetTextExtentPoint32W(screen, L"ALICE 12", 8, &extent);
        return double(extent.cx);
    };
    const Font arial(CreateFontW(textFontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                 ANSI_CHARSET, 0, 0, 0, VARIABLE_PITCH | FF_SWISS, L"Arial"));
    const Font ui = createUiFont(textFontHeight, FW_BOLD);
    const Font squeezed = createUiFontIn(nullptr, textFontHeight, FW_BOLD, false);
    const double wide = widthOf(arial.get());
    for (const Font* font : {&ui, &squeezed}) {
        EXPECT_LT(widthOf(font->get()), 0.9 * wide) << (font == &ui ? "chosen" : "squeezed");
        EXPECT_GT(widthOf(font->get()), 0.7 * wide) << (font == &ui ? "chosen" : "squeezed");
    }
    wchar_t face[LF_FACESIZE]{};
    {
        WindowDC screen(nullptr);
        Selection keep(screen, ui.get());
        GetTextFaceW(screen, LF_FACESIZE, face);
    }
    std::printf("drawn in \"%ls\" (%.0f px wide, Arial %.0f, squeezed Arial %.0f)\n", face,
                widthOf(ui.get()), wide, widthOf(squeezed.get()));
}

TEST(SmoothText, NullDrawsNothingEmptyFillsTheBoxInsideItsMargin) {
    Font font = createUiFont(textFontHeight, FW_BOLD);
    Canvas canvas(40, 20);
    const RECT box{5, 3, 35, 17};
    canvas.draw([&](HDC dc) {
        DrawSmoothText(dc, nullptr, textColor, accentColor, font.get(), box, DT_VCENTER, true);
    });
    EXPECT_EQ(count(canvas.pixels(), sentinel, {0, 0, 40, 20}), 40 * 20);

    canvas.draw([&](HDC dc) {
        DrawSmoothText(dc, L"", textColor, accentColor, font.get(), box, DT_VCENTER, true);
    });
    const testkit::Pixels p = canvas.pixels();
    EXPECT_EQ(count(p, accentColor, {6, 4, 34, 16}), 28 * 12);
    EXPECT_EQ(count(p, sentinel, {0, 0, 40, 20}), 40 * 20 - 28 * 12); // the margin stays
}

TEST(SmoothText, GlyphsShadowAndClipping) {
    Font font = createUiFont(textFontHeight, FW_BOLD);
    const RECT box{0, 0, 60, 15};
    Canvas shadowed(60, 15), plain(60, 15);
    shadowed.draw([&](HDC dc) {
        DrawSmoothText(dc, L"MW", textColor, backColor, font.get(), box, DT_VCENTER | DT_NOPREFIX,
                       true);
    });
    plain.draw([&](HDC dc) {
        DrawSmoothText(dc, L"MW", linkColor, backColor, font.get(), box, DT_VCENTER | DT_NOPREFIX,
                       false);
    });
    const RECT inside{1, 1, 59, 14};
    const testkit::Pixels s = shadowed.pixels(), p = plain.pixels();
    EXPECT_GT(count(s, textColor, inside), 10);
    EXPECT_GT(count(s, shadowColor, inside), 5);
    EXPECT_GT(count(p, linkColor, inside), 10);
    EXPECT_EQ(count(p, shadowColor, inside), 0) << "text without shadow has no dark fringe";

    // the shadow lies right of and below the glyphs: the first dark column comes after the first
    // glyph column (exact colours hold under Wine, whose halftone does not blend)
    int firstGlyph = 99, firstShadow = 99;
    for (int x = 1; x < 59; ++x)
        for (int y = 1; y < 14; ++y) {
            if (s.at(x, y) == textColor && x < firstGlyph) firstGlyph = x;
            if (s.at(x, y) == shadowColor && x < firstShadow) firstShadow = x;
        }
    EXPECT_LE(firstGlyph, firstShadow);

    // a text too wide for its box stops at the box: the margin column keeps what was there
    Canvas narrow(20, 15);
    narrow.draw([&](HDC dc) {
        DrawSmoothText(dc, L"WWWWWWWWWW", textColor, backColor, font.get(), {0, 0, 20, 15},
                       DT_VCENTER, true);
    });
    const testkit::Pixels n = narrow.pixels();
    EXPECT_EQ(count(n, sentinel, {19, 0, 20, 15}), 15);
    EXPECT_GT(count(n, textColor, {15, 1, 19, 14}), 0);
}

TEST(SmoothText, LeavesNoObjectsBehind) {
    Font font = createUiFont(textFontHeight, FW_BOLD);
    Canvas canvas(60, 15);
    auto drawOnce = [&] {
        canvas.draw([&](HDC dc) {
            DrawSmoothText(dc, L"CLIENT 01", textColor, backColor, font.get(), {0, 0, 60, 15},
                           DT_VCENTER, true);
        });
    };
    drawOnce();
    const long before = testkit::countGdiObjects(GetCurrentProcessId());
    for (int i = 0; i < 200; ++i)
        drawOnce();
    EXPECT_EQ(testkit::countGdiObjects(GetCurrentProcessId()), before);
}

// Every scale's small icon is an image drawn at that size, not one the system stretches; the
// tray loads the one for its DPI (GetSystemMetricsForDpi answers for any DPI under Wine too).
TEST(Icons, EachScaleFindsAnImageOfItsOwnSize) {
    const HINSTANCE self = GetModuleHandleW(nullptr);
    auto sizesIn = [&](int group) {
        std::set<int> sizes;
        const HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(group), RT_GROUP_ICON);
        const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(self, found)));
        if (!dir) return sizes;
        const int count = dir[4] | dir[5] << 8;
        for (int i = 0; i < count; ++i) // 6-byte header, 14-byte entries; 0 stands for 256
            sizes.insert(dir[6 + 14 * i] ? dir[6 + 14 * i] : 256);
        return sizes;
    };
    EXPECT_EQ(sizesIn(IDI_TRAY), (std::set<int>{16, 20, 24, 28, 32, 36, 40, 48}));
    EXPECT_EQ(sizesIn(IDI_APP), (std::set<int>{16, 20, 24, 32, 48, 64, 128, 256}));

    auto widthOf = [](HICON icon) {
        ICONINFO info{};
        if (!GetIconInfo(icon, &info)) return 0;
        Bitmap colour(info.hbmColor), mask(info.hbmMask);
        BITMAP bits{};
        GetObjectW(colour ? colour.get() : mask.get(), sizeof bits, &bits);
        return static_cast<int>(bits.bmWidth);
    };
    // Drawn at its size: every pixel has one of the art's colours, which an image resampled
    // from another size blends at every edge that falls between its pixels.
    auto offPalette = [](HICON icon) {
        ICONINFO info{};
        if (!GetIconInfo(icon, &info)) return -1;
        Bitmap colour(info.hbmColor), mask(info.hbmMask);
        BITMAP bits{};
        if (!colour || !GetObjectW(colour.get(), sizeof bits, &bits)) return -1;
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        format.bmiHeader.biWidth = bits.bmWidth;
        format.bmiHeader.biHeight = -bits.bmHeight; // top-down
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        std::vector<RGBQUAD> pixels(size_t(bits.bmWidth) * size_t(bits.bmHeight));
        WindowDC screen(nullptr);
        if (!GetDIBits(screen, colour.get(), 0, UINT(bits.bmHeight), pixels.data(), &format,
                       DIB_RGB_COLORS))
            return -1;
        const std::set<COLORREF> art{RGB(0, 0, 0),      RGB(200, 200, 200), RGB(40, 40, 40),
                                     RGB(85, 85, 85),   RGB(150, 150, 150), RGB(255, 165, 0),
                                     RGB(255, 205, 120)};
        int off = 0;
        for (const RGBQUAD& p : pixels)
            off += art.count(RGB(p.rgbRed, p.rgbGreen, p.rgbBlue)) ? 0 : 1;
        return off;
    };
    struct Row {
        UINT dpi;
        int size;
    } rows[] = {{96, 16},  {120, 20}, {144, 24}, {168, 28},
                {192, 32}, {216, 36}, {240, 40}, {288, 48}};
    for (const Row& row : rows) {
        EXPECT_EQ(trayIconSize(row.dpi), row.size) << row.dpi;
        IconHandle icon(loadTrayIcon(self, row.dpi));
        EXPECT_EQ(widthOf(icon.get()), row.size) << row.dpi;
        EXPECT_EQ(offPalette(icon.get()), 0) << row.dpi;
    }
    // without a DPI, the session's: 24 px at 144
    IconHandle own(loadTrayIcon(self));
    EXPECT_EQ(widthOf(own.get()), Scale::ofScreen()(16));
}

} // namespace
