// The buffer pool: reuse and release rules.
#include <gtest/gtest.h>

#include "core/BufferPool.h"

namespace {

TEST(BufferPool, LendsAFreeBufferLargeEnoughNeverOneHeldAndPreallocatesWithoutGrowing) {
    CBufferPool pool(TRUE);
    for (LONG size : {0, -5, -2147483647}) EXPECT_EQ(nullptr, pool.Acquire(size)) << size;
    PoolBuffer *first = pool.Acquire(100);
    pool.Release(first);
    PoolBuffer *again = pool.Acquire(80);
    EXPECT_EQ(first, again);
    PoolBuffer *second = pool.Acquire(100);
    EXPECT_NE(first, second) << "a held buffer is never handed out twice";
    pool.Release(again);
    PoolBuffer *larger = pool.Acquire(150);
    EXPECT_NE(first, larger) << "a request larger than every free buffer makes a new one";
    EXPECT_EQ(150, larger->capacity);
    EXPECT_EQ(3, pool.BufferCount());
    pool.Release(second);
    pool.Release(larger);
    EXPECT_TRUE(pool.Preallocate(4, 100));
    EXPECT_EQ(4, pool.BufferCount()) << "buffers already large enough count";
    for (LONG size : {100, 80, 50, 1}) EXPECT_NE(nullptr, pool.Acquire(size));
    EXPECT_EQ(4, pool.BufferCount()) << "preallocated buffers serve without growing";
}

}  // namespace
