#include "infra/globals.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    InitializeCommandLock(); // the library entry does this in the DLL
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
