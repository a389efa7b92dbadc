#include <gtest/gtest.h>

#include "clients/client_pass.h"
#include "clients/game_client.h"

namespace {

TEST(ClientPass, OnlyTheExactClassIsAClient) {
    struct Row {
        const wchar_t* name;
        bool client;
    } rows[] = {{L"qorMainView", true},
                {L"qorMainViewX", false},
                {L"qormainview", false},
                {L"QORMAINVIEW", false},
                {L"qorMainVie", false},
                {L" qorMainView", false},
                {L"", false}};
    for (const Row& row : rows)
        EXPECT_EQ(isClientClass(row.name), row.client) << row.name;
}

TEST(ClientPass, CaptionNeedsBothBorderAndDialogFrame) {
    struct Row {
        LONG style;
        bool caption;
    } rows[] = {{WS_CAPTION, true},      {WS_OVERLAPPEDWINDOW, true},
                {restoredStyle, true},   {WS_BORDER, false},
                {WS_DLGFRAME, false},    {fittedStyle, false},
                {LONG(WS_POPUP), false}, {0, false}};
    for (const Row& row : rows)
        EXPECT_EQ(hasCaption(row.style), row.caption) << std::hex << row.style;
    EXPECT_EQ(fittedStyle, LONG(WS_VISIBLE | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_EQ(restoredStyle, LONG(WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CAPTION |
                                  WS_SYSMENU | WS_MINIMIZEBOX));
}

TEST(ClientPass, BoundsSitInTheWorkAreaCornerAndKeepTheClientSize) {
    struct Row {
        const char* what;
        RECT work;
        SIZE client;
        RECT fitted;
        RECT restored; // with a 4 px frame and a 19 px caption
    } rows[] = {
        {"primary, taskbar at the bottom",
         {0, 0, 1280, 780},
         {1024, 768},
         {0, 0, 1024, 768},
         {0, 0, 1032, 795}},
        {"taskbar at the top",
         {0, 40, 1920, 1080},
         {800, 600},
         {0, 40, 800, 640},
         {0, 40, 808, 667}},
        {"taskbar at the left",
         {62, 0, 1920, 1080},
         {640, 480},
         {62, 0, 702, 480},
         {62, 0, 710, 507}},
        {"monitor left of the primary",
         {-1920, 0, 0, 1040},
         {1024, 768},
         {-1920, 0, -896, 768},
         {-1920, 0, -888, 795}},
        {"empty client", {0, 0, 1280, 780}, {0, 0}, {0, 0, 0, 0}, {0, 0, 8, 27}},
    };
    for (const Row& row : rows) {
        const RECT fitted = fittedBounds(row.work, row.client);
        const RECT restored = restoredBounds(row.work, row.client, 4, 4, 19);
        EXPECT_TRUE(EqualRect(&fitted, &row.fitted)) << row.what;
        EXPECT_TRUE(EqualRect(&restored, &row.restored)) << row.what;
    }
}

} // namespace
