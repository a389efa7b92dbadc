#include <gtest/gtest.h>

#include "core/messages.h"
#include "tests/support/skarvel_process.h"

namespace {

TEST(StartUp, OneInstancePerLogon) {
    Skarvel first = startSkarvel();
    ASSERT_TRUE(first.tray) << "the first start shows no tray window";

    testkit::Process second = testkit::Process::start(skarvelExe());
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(second.waitExit(10000, &code)) << "a second start keeps running";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(testkit::findWindows(L"__CWindowClass", second.id()).empty());
    EXPECT_TRUE(first.process.running());
    EXPECT_TRUE(answers(first.tray));

    ASSERT_TRUE(exitSkarvel(first));

    // the mutex went with the first instance
    Skarvel third = startSkarvel();
    ASSERT_TRUE(third.tray);
    EXPECT_FALSE(third.process.waitExit(300));
    EXPECT_TRUE(exitSkarvel(third));
}

TEST(StartUp, UnknownCommandsAreIgnored) {
    Skarvel skarvel = startSkarvel();
    ASSERT_TRUE(skarvel.tray);
    for (WPARAM command : {WPARAM(0), WPARAM(9), WPARAM(cmdLockToggle), WPARAM(cmdShowTaskbar),
                           WPARAM(-1), WPARAM(0x10001)})
        postCommand(skarvel.tray, command);
    EXPECT_TRUE(answers(skarvel.tray));
    EXPECT_TRUE(skarvel.process.running());
    EXPECT_TRUE(exitSkarvel(skarvel));
}

} // namespace
