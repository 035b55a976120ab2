// Waitable timers as the service and tick threads use them: a fixed period, one wake-up for any number
// of missed periods, a wait on a timer not yet due that ends at its time-out, and cancel (the first
// expiry at once is the tick thread's case).
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
    // A wait on an event and the timer armed ten seconds ahead ends at its time-out and not before.
    HANDLE handles[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), timer};
    due.QuadPart = -100000000;
    ASSERT_TRUE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 100), kWaitTimeout);
    EXPECT_GE(GetTickCount() - start, 80u);
    EXPECT_LE(GetTickCount() - start, 3000u);
    EXPECT_TRUE(CancelWaitableTimer(timer));
    EXPECT_EQ(WaitForSingleObject(timer, 300), kWaitTimeout);
    CloseHandle(handles[0]);
    CloseHandle(timer);
}

}  // namespace
