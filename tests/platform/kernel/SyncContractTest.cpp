// Events, waits and waitable timers: the wake-up rules the service and tick threads' loops rely on.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

TEST(WaitContract, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
    // Auto-reset events: none set, set three times in a burst that wakes once, set once.
    const int sets[3] = {0, 3, 1};
    HANDLE events[3];
    for (int i = 0; i < 3; ++i) {
        events[i] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_NE(events[i], nullptr);
        for (int n = 0; n < sets[i]; ++n) SetEvent(events[i]);
    }
    for (DWORD expected : {DWORD(1), DWORD(2), kWaitTimeout})
        EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), expected);
    for (HANDLE event : events) CloseHandle(event);
}

// The library waits on handles it may already have closed and set to 0: such waits fail at once.
TEST(WaitContract, BadArgumentsFailAndClosedHandleValuesNeverReturn) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    for (HANDLE bad : {HANDLE(nullptr), closed}) {
        const HANDLE handles[2] = {event, bad};
        SetLastError(0);
        EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 100), WAIT_FAILED) << (bad ? "closed" : "null");
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE)) << (bad ? "closed" : "null");
    }
    // A kept closed handle must never name a later object, even as a 32-bit slot is reused; Windows reuses values.
    for (int i = 0; i < 1100 && !RunningUnderWine(); ++i) {
        HANDLE next = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(next, closed) << "after " << i << " reuses";
        CloseHandle(next);
    }
    EXPECT_FALSE(CloseHandle(closed));
    EXPECT_FALSE(CloseHandle(nullptr));
    CloseHandle(event);
}

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
    // Expiries 0 to 1000 ms, and the one at 1100 when the last wait starts after the one at 1000.
    EXPECT_LE(expiries, 12);
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
