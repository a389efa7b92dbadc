#include <gtest/gtest.h>

#include <cstring>

#include "core/globals.h"

int main(int argc, char** argv) {
    // Wine reads the monitors as a process starts; applying the display settings from a new
    // process makes every other one see the monitors as they are now (the two-monitor tests)
    if (argc == 2 && std::strcmp(argv[1], "--apply-display-settings") == 0)
        return ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr) ==
                       DISP_CHANGE_SUCCESSFUL
                   ? 0
                   : 1;
    // window objects copy this when they are built, as in the program
    moduleInstance = GetModuleHandleW(nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
