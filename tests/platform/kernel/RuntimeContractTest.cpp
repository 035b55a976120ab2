// The smaller runtime services: per-thread COM initialisation, MulDiv's rounding and the process
// heap's zeroing.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

TEST(RuntimeContract, CoInitializeCountsPerThread) {
    HRESULT first = E_FAIL, again = E_FAIL, afterUninit = E_FAIL;
    auto body = [&]() -> unsigned {
        first = CoInitialize(nullptr);
        again = CoInitialize(nullptr);
        CoUninitialize();
        CoUninitialize();
        afterUninit = CoInitialize(nullptr);
        CoUninitialize();
        return 0;
    };
    JoinThread(StartThread(body));
    EXPECT_EQ(first, S_OK);
    EXPECT_EQ(again, S_FALSE);
    EXPECT_EQ(afterUninit, S_OK);
}

TEST(RuntimeContract, MulDivRoundsHalfAwayFromZero) {
    const struct {
        int number, numerator, denominator, result;
    } cases[] = {{10, 3, 4, 8},
                 {-10, 3, 4, -8},
                 {10, 3, -4, -8},
                 {-10, -3, -4, -8},
                 {5, 1, 3, 2},
                 {4, 1, 3, 1},
                 {1, 1, 0, -1},
                 {0x7FFFFFFF, 2, 1, -1},
                 {4410, 1000, 176400, 25},
                 {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}};
    for (const auto &c : cases)
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.result)
            << c.number << " * " << c.numerator << " / " << c.denominator;
}

TEST(RuntimeContract, HeapZeroesNewMemoryOnly) {
    HANDLE heap = GetProcessHeap();
    ASSERT_NE(heap, nullptr);
    // Leave dirty memory behind for the allocations below to reuse.
    BYTE *dirty = static_cast<BYTE *>(HeapAlloc(heap, 0, 4096));
    ASSERT_NE(dirty, nullptr);
    for (int i = 0; i < 4096; ++i) dirty[i] = 0xCD;
    HeapFree(heap, 0, dirty);
    BYTE *block = static_cast<BYTE *>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(block[i], 0);
        block[i] = 0xAB;
    }
    block = static_cast<BYTE *>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 4096));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(block[i], i < 64 ? 0xAB : 0) << i;
    EXPECT_TRUE(HeapFree(heap, 0, block));
}

}  // namespace
