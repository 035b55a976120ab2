// The smaller runtime services: per-thread COM initialisation, MulDiv's rounding and the process heap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

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

// The recorder's capture buffers come zeroed; the sample buffers grow keeping what they hold.
TEST(RuntimeContract, HeapZeroesOnRequestAndReallocationKeepsTheContent) {
    HANDLE heap = GetProcessHeap();
    BYTE *dirty = static_cast<BYTE *>(HeapAlloc(heap, 0, 4096));
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xCD, 4096);  // left behind for the zeroed block to reuse
    HeapFree(heap, 0, dirty);
    BYTE *block = static_cast<BYTE *>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 64));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 64, 0), 64);
    std::memset(block, 0xAB, 64);
    block = static_cast<BYTE *>(HeapReAlloc(heap, 0, block, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 64, 0xAB), 64);
    EXPECT_TRUE(HeapFree(heap, 0, block));
}

}  // namespace
