// Waitable timers as the service and tick threads use them: a fixed period, one wake-up for any number
// of missed periods, and cancel (the first expiry at once is the tick thread's case).
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

TEST(TimerContract, EveryPeriodAndMissedOnesCollapseUntilCancelled) {
    HANDLE timer = CreateWaitableTimerA(nullptr, FALSE, nullptr);
    ASSERT_NE(timer, nullptr);
    LARGE_INTEGER due;
    due.QuadPart = 0;  // in the past, as the service thread arms it
    ASSERT_TRUE(SetWaitableTimer(timer, &due, 100, nullptr, nullptr, FALSE));
    int expiries = 0;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 1000;)
        expiries += WaitForSingleObject(timer, 300) == WAIT_OBJECT_0;
    EXPECT_GE(expiries, 6);
    EXPECT_LE(expiries, 11);
    Sleep(530);  // five periods pass with nobody waiting
    EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(timer, 0), kWaitTimeout);
    EXPECT_EQ(WaitForSingleObject(timer, 1000), WAIT_OBJECT_0);  // and the period goes on
    EXPECT_TRUE(CancelWaitableTimer(timer));
    EXPECT_EQ(WaitForSingleObject(timer, 300), kWaitTimeout);
    CloseHandle(timer);
}

}  // namespace
