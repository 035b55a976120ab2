// Waitable timers as the service and tick threads use them: first expiry at once, a fixed period,
// one wake-up for any number of missed periods, and cancel.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

const LONGLONG kMillisecond = 10000;  // in 100 ns units

BOOL Arm(HANDLE timer, LONGLONG due, LONG period) {
    LARGE_INTEGER dueTime;
    dueTime.QuadPart = due;
    return SetWaitableTimer(timer, &dueTime, period, nullptr, nullptr, FALSE);
}

TEST(TimerContract, FirstExpiryAtOnceThenEveryPeriodAndMissedOnesCollapse) {
    HANDLE timer = CreateWaitableTimerA(nullptr, FALSE, nullptr);
    ASSERT_NE(timer, nullptr);
    DWORD start = GetTickCount();
    ASSERT_TRUE(Arm(timer, 0, 100));
    ASSERT_EQ(WaitForSingleObject(timer, 1000), WAIT_OBJECT_0);
    EXPECT_LT(GetTickCount() - start, 60u);  // at once, not after a period

    int expiries = 0;
    start = GetTickCount();
    while (GetTickCount() - start < 1000) {
        if (WaitForSingleObject(timer, 300) == WAIT_OBJECT_0) ++expiries;
    }
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

TEST(TimerContract, RearmingReachesThreadsAlreadyWaiting) {
    HANDLE timer = CreateWaitableTimerA(nullptr, FALSE, nullptr);
    ASSERT_TRUE(Arm(timer, -10000 * kMillisecond, 0));
    DWORD elapsed = 0;
    auto body = [&]() -> unsigned {
        const DWORD start = GetTickCount();
        const DWORD result = WaitForSingleObject(timer, 5000);
        elapsed = GetTickCount() - start;
        return result;
    };
    HANDLE thread = StartThread(body);
    Sleep(100);
    ASSERT_TRUE(Arm(timer, 0, 0));
    EXPECT_EQ(JoinThread(thread), WAIT_OBJECT_0);
    EXPECT_LT(elapsed, 3000u);
    CloseHandle(timer);
}

}  // namespace
