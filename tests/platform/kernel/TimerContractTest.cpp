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

TEST(TimerContract, FirstExpiryAtOnceThenEveryPeriod) {
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
    CloseHandle(timer);
}

TEST(TimerContract, MissedPeriodsCollapseAndCancelStops) {
    HANDLE timer = CreateWaitableTimerA(nullptr, FALSE, nullptr);
    ASSERT_TRUE(Arm(timer, 0, 100));
    Sleep(530);  // five periods pass with nobody waiting
    EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(timer, 0), kWaitTimeout);
    EXPECT_EQ(WaitForSingleObject(timer, 1000), WAIT_OBJECT_0);  // and the period goes on

    EXPECT_TRUE(CancelWaitableTimer(timer));
    EXPECT_EQ(WaitForSingleObject(timer, 300), kWaitTimeout);
    CloseHandle(timer);
}

TEST(TimerContract, ManualResetTimerStaysSignalledUntilRearmed) {
    HANDLE timer = CreateWaitableTimerA(nullptr, TRUE, nullptr);
    const DWORD start = GetTickCount();
    ASSERT_TRUE(Arm(timer, -50 * kMillisecond, 0));
    EXPECT_EQ(WaitForSingleObject(timer, 0), kWaitTimeout);
    ASSERT_EQ(WaitForSingleObject(timer, 2000), WAIT_OBJECT_0);
    EXPECT_GE(GetTickCount() - start, 35u);
    EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CancelWaitableTimer(timer));  // cancelling leaves the state alone
    EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(Arm(timer, -10000 * kMillisecond, 0));
    EXPECT_EQ(WaitForSingleObject(timer, 0), kWaitTimeout);
    CloseHandle(timer);
}

struct TimerWait {
    HANDLE timer;
    DWORD result;
    DWORD elapsed;
};

unsigned __stdcall WaitOnTimer(void *arg) {
    TimerWait *wait = static_cast<TimerWait *>(arg);
    const DWORD start = GetTickCount();
    wait->result = WaitForSingleObject(wait->timer, 5000);
    wait->elapsed = GetTickCount() - start;
    return 0;
}

TEST(TimerContract, RearmingReachesThreadsAlreadyWaiting) {
    TimerWait wait = {CreateWaitableTimerA(nullptr, FALSE, nullptr), 0xDEAD, 0};
    ASSERT_TRUE(Arm(wait.timer, -10000 * kMillisecond, 0));
    HANDLE thread = StartThread(WaitOnTimer, &wait);
    Sleep(100);
    ASSERT_TRUE(Arm(wait.timer, 0, 0));
    JoinThread(thread);
    EXPECT_EQ(wait.result, WAIT_OBJECT_0);
    EXPECT_LT(wait.elapsed, 3000u);
    CloseHandle(wait.timer);
}

}  // namespace
