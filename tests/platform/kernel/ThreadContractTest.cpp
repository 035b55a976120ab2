// Threads: ids, suspended start, exit codes, and handles that stay signalled once the thread ends.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

TEST(ThreadContract, HandleSignalledAtExitWithExitCode) {
    struct Case {
        const char *name;
        unsigned flags;
        bool closeWhileRunning;
    };
    const Case cases[] = {
        {"runs at once", 0, false},
        {"created suspended", CREATE_SUSPENDED, false},
        {"handle closed while it runs", 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr),
               done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD ranAs = 0;
        LONG ran = 0;
        auto body = [&]() -> unsigned {
            ranAs = GetCurrentThreadId();
            InterlockedExchange(&ran, 1);
            WaitForSingleObject(release, INFINITE);
            SetEvent(done);
            return 42;
        };
        unsigned id = 0;
        HANDLE thread = StartThread(body, c.flags, &id);
        ASSERT_NE(thread, nullptr);
        EXPECT_NE(id, 0u);
        EXPECT_NE(id, GetCurrentThreadId());
        EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL));
        if (c.flags & CREATE_SUSPENDED) {
            Sleep(50);
            EXPECT_EQ(InterlockedCompareExchange(&ran, 0, 0), 0);
            EXPECT_EQ(ResumeThread(thread), 1u);
        }
        EXPECT_EQ(WaitForSingleObject(thread, 100), kWaitTimeout);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, DWORD(STILL_ACTIVE));

        if (c.closeWhileRunning) {
            EXPECT_TRUE(CloseHandle(thread));
            SetEvent(release);
            EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
        } else {
            SetEvent(release);
            EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
            EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
            EXPECT_TRUE(GetExitCodeThread(thread, &code));
            EXPECT_EQ(code, 42u);
            EXPECT_EQ(ranAs, DWORD(id));
            CloseHandle(thread);
        }
        CloseHandle(release);
        CloseHandle(done);
    }
}

}  // namespace
