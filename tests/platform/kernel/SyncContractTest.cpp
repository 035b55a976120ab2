// Events and waits: the wake-up rules the service thread's loop relies on.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

TEST(WaitContract, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
    struct Case {
        const char *name;
        int sets[3];       // SetEvent calls per auto-reset event before the waits
        DWORD results[3];  // successive WaitForMultipleObjects(any, no wait) results
    };
    const DWORD none = kWaitTimeout;
    const Case cases[] = {
        {"two signalled: lower first, then the other", {0, 1, 1}, {1, 2, none}},
        {"a burst of sets wakes once", {0, 3, 0}, {1, none, none}},
        {"nothing signalled", {0, 0, 0}, {none, none, none}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE events[3];
        for (int i = 0; i < 3; ++i) {
            events[i] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            ASSERT_NE(events[i], nullptr);
            for (int n = 0; n < c.sets[i]; ++n) SetEvent(events[i]);
        }
        for (DWORD expected : c.results) EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), expected);
        for (HANDLE event : events) CloseHandle(event);
    }
}

// The library waits on handles it may already have closed and set to 0: such waits fail at once.
TEST(WaitContract, BadArgumentsFailAndClosedHandleValuesNeverReturn) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    const struct {
        const char *name;
        DWORD count;
        HANDLE handles[2];
        DWORD error;
    } cases[] = {
        {"no handles", 0, {event, event}, ERROR_INVALID_PARAMETER},
        {"a null handle", 2, {event, nullptr}, ERROR_INVALID_HANDLE},
        {"a closed handle", 2, {event, closed}, ERROR_INVALID_HANDLE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(0);
        EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles, FALSE, 100), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), DWORD(c.error));
    }
    // A handle closed and kept by mistake must never reach an object made later, even when handle
    // values are 32 bits wide and the same slot is reused over and over; Windows reuses handle values.
    for (int i = 0; i < 1100 && !RunningUnderWine(); ++i) {
        HANDLE next = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(next, closed) << "after " << i << " reuses";
        CloseHandle(next);
    }
    EXPECT_FALSE(CloseHandle(closed));
    EXPECT_FALSE(CloseHandle(nullptr));
    CloseHandle(event);
}

}  // namespace
