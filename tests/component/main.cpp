#include "failure_table.h"
#include "infra/globals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

// Counted for the failure tables, freed by the default delete.
void* operator new(std::size_t size) {
    trvtest::tAllocations += trvtest::tUncounted == 0 ? 1 : 0;
    void* p = trvtest::tNoMemory ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

int main(int argc, char** argv) {
    InitializeCommandLock(); // the library entry does this in the DLL
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
