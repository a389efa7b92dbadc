#include <gtest/gtest.h>

#include "core/globals.h"

int main(int argc, char** argv) {
    // window objects copy this when they are built, as in the program
    moduleInstance = GetModuleHandleW(nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
