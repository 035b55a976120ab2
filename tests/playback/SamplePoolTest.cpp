// Sample buffers and the pool that lends them to the media reader.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "files/SamplePool.h"

namespace {

template <class T>
T Get(INSSBuffer *buffer, HRESULT (STDMETHODCALLTYPE INSSBuffer::*getter)(T *)) {
    T value = T();
    (buffer->*getter)(&value);
    return value;
}
DWORD Length(INSSBuffer *buffer) { return Get(buffer, &INSSBuffer::GetLength); }
DWORD Capacity(INSSBuffer *buffer) { return Get(buffer, &INSSBuffer::GetMaxLength); }
BYTE *Data(INSSBuffer *buffer) { return Get(buffer, &INSSBuffer::GetBuffer); }

TEST(SampleBuffer, LengthStaysWithinCapacityAndResizesKeepTheFirstBytes) {
    enum Op { SET_LENGTH, SET_CAPACITY };
    struct Step {
        Op op;
        DWORD value;
        HRESULT result;
        DWORD length, capacity;
    };
    const Step steps[] = {
        {SET_LENGTH, 0, S_OK, 0, 0},     {SET_LENGTH, 1, E_INVALIDARG, 0, 0}, {SET_CAPACITY, 0, E_INVALIDARG, 0, 0},
        {SET_CAPACITY, 8, S_OK, 0, 8},   {SET_LENGTH, 8, S_OK, 8, 8},         {SET_LENGTH, 9, E_INVALIDARG, 8, 8},
        {SET_CAPACITY, 4, S_OK, 4, 4},  // shrinking clips the length
        {SET_CAPACITY, 64, S_OK, 4, 64}, {SET_CAPACITY, 64, S_OK, 4, 64},
    };
    CSampleBuffer *buffer = new CSampleBuffer(nullptr);
    for (const Step &step : steps) {
        SCOPED_TRACE(testing::Message() << (step.op == SET_LENGTH ? "length " : "capacity ") << step.value);
        EXPECT_EQ(step.op == SET_LENGTH ? buffer->SetLength(step.value) : buffer->SetCapacity(step.value), step.result);
        EXPECT_EQ(Length(buffer), step.length);
        EXPECT_EQ(Capacity(buffer), step.capacity);
        if (step.op == SET_CAPACITY && step.value == 8) std::memcpy(Data(buffer), "abcdefgh", 8);
    }
    EXPECT_EQ(std::memcmp(Data(buffer), "abcd", 4), 0);
    void *same = nullptr;
    ASSERT_EQ(buffer->QueryInterface(IID_INSSBuffer, &same), S_OK);
    EXPECT_EQ(same, static_cast<INSSBuffer *>(buffer));
    EXPECT_EQ(buffer->Release(), 1u);  // a standalone buffer at 1 stays alive
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST(SamplePool, TakeWaitsForAReturningBufferBeforeItGrows) {
    struct Case {
        const char *name;
        int returnAfterMs;  // -1: the lent buffer stays out
        bool sameBuffer;
        long minMs, maxMs;
        LONG total;
    };
    const Case cases[] = {
        {"a buffer comes back", 60, true, 40, 400, 1},
        {"nothing comes back", -1, false, 480, 2000, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CSamplePool pool;
        pool.Preallocate(1, 16);
        CSampleBuffer *first = nullptr;
        ASSERT_EQ(pool.Take(16, &first), S_OK);
        std::thread borrower([&] {
            if (c.returnAfterMs >= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.returnAfterMs));
                first->Release();
            }
        });
        const auto start = std::chrono::steady_clock::now();
        CSampleBuffer *second = nullptr;
        ASSERT_EQ(pool.Take(32, &second), S_OK);
        const long elapsed = long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        borrower.join();
        EXPECT_EQ(second == first, c.sameBuffer);
        EXPECT_GE(elapsed, c.minMs);
        EXPECT_LE(elapsed, c.maxMs);
        EXPECT_EQ(Capacity(second), 32u);
        EXPECT_EQ(pool.Total(), c.total);
        second->Release();
        if (!c.sameBuffer) first->Release();
    }
}

}  // namespace
