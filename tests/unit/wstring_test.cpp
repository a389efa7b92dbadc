#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/wstring.h"

namespace {

std::wstring text(const CWString& s) {
    return s.c_str();
}

TEST(CWString, EmptyHasOneUnitAndCopiesAreDeep) {
    CWString empty;
    EXPECT_EQ(empty.length(), 0);
    EXPECT_EQ(empty.capacityUnits(), 1);
    EXPECT_STREQ(empty.c_str(), L"");
    CWString fromNull(nullptr);
    EXPECT_STREQ(fromNull.c_str(), L"");

    CWString a(L"Alice");
    CWString b(a);
    b.append(L"!");
    EXPECT_EQ(text(a), L"Alice");
    EXPECT_EQ(text(b), L"Alice!");
    EXPECT_EQ(b.capacityUnits(), 7);
    a = b;
    b.assign(L"x");
    EXPECT_EQ(text(a), L"Alice!");

    CWString moved(std::move(a));
    EXPECT_EQ(text(moved), L"Alice!");
    EXPECT_STREQ(a.c_str(), L""); // a moved-from text is still a valid empty one
}

TEST(CWString, ResizeCutsButNeverLengthens) {
    struct Row {
        const wchar_t* start;
        int n;
        const wchar_t* expected;
        int capacity;
    } rows[] = {
        {L"Client", 4, L"Cli", 4}, {L"Client", 7, L"Client", 7}, {L"Client", 20, L"Client", 20},
        {L"Client", 1, L"", 1},    {L"Client", 0, L"", 1},       {L"Client", -5, L"", 1},
    };
    for (const Row& row : rows) {
        CWString s(row.start);
        s.resize(row.n);
        EXPECT_EQ(text(s), row.expected) << "resize(" << row.n << ")";
        EXPECT_EQ(s.capacityUnits(), row.capacity) << "resize(" << row.n << ")";
    }
}

TEST(CWString, AssignAndAppendAcceptTheirOwnText) {
    CWString s(L"abc");
    s.append(s.c_str());
    EXPECT_EQ(text(s), L"abcabc");
    s.assign(s.c_str() + 3);
    EXPECT_EQ(text(s), L"abc");
    EXPECT_EQ(s.capacityUnits(), 4);
    s.append(nullptr);
    s.append(L"");
    EXPECT_EQ(text(s), L"abc");
}

TEST(CWString, AppendNumber) {
    struct Row {
        int32_t value;
        const wchar_t* expected;
    } rows[] = {
        {0, L"Client 0"},
        {7, L"Client 7"},
        {10, L"Client 10"},
        {-1, L"Client -1"},
        {INT_MAX, L"Client 2147483647"},
        {INT_MIN, L"Client -2147483648"},
    };
    for (const Row& row : rows) {
        CWString s(L"Client ");
        s.appendNumber(row.value);
        EXPECT_EQ(text(s), row.expected) << row.value;
        EXPECT_EQ(s.capacityUnits(), s.length() + 1) << row.value;
    }
}

TEST(CWString, UpperCopyChangesOnlyAsciiLetters) {
    const CWString mixed(L"abz ABZ 09 `{ \u00e9\u00df \u0430\U0001F600");
    const CWString upper = mixed.upperCopy();
    EXPECT_EQ(text(upper), L"ABZ ABZ 09 `{ \u00e9\u00df \u0430\U0001F600");
    EXPECT_EQ(text(mixed), L"abz ABZ 09 `{ \u00e9\u00df \u0430\U0001F600");
}

TEST(CWString, KeepLast) {
    struct Row {
        int n;
        const wchar_t* expected;
    } rows[] = {{0, L""},
                {1, L"e"},
                {5, L"Alice"},
                {10, L"OR - Alice"},
                {11, L"QOR - Alice"},
                {12, L"QOR - Alice"},
                {-1, L"QOR - Alice"}};
    for (const Row& row : rows) {
        CWString s(L"QOR - Alice");
        s.keepLast(row.n);
        EXPECT_EQ(text(s), row.expected) << "keepLast(" << row.n << ")";
    }
}

} // namespace
