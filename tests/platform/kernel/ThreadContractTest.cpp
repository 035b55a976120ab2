// Threads: ids, exit codes, and handles that stay signalled once the thread ends, or may be closed
// while it runs.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

TEST(ThreadContract, HandleSignalledAtExitWithExitCode) {
    for (const bool closeWhileRunning : {false, true}) {
        SCOPED_TRACE(closeWhileRunning ? "handle closed while it runs" : "handle kept");
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr),
               done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD ranAs = 0;
        auto body = [&]() -> unsigned {
            ranAs = GetCurrentThreadId();
            WaitForSingleObject(release, INFINITE);
            SetEvent(done);
            return 42;
        };
        unsigned id = 0;
        HANDLE thread = StartThread(body, &id);
        ASSERT_NE(thread, nullptr);
        EXPECT_NE(id, 0u);
        EXPECT_NE(id, GetCurrentThreadId());
        EXPECT_EQ(WaitForSingleObject(thread, 100), kWaitTimeout);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, DWORD(STILL_ACTIVE));
        if (closeWhileRunning) {
            EXPECT_TRUE(CloseHandle(thread));
            SetEvent(release);
            EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
        } else {
            SetEvent(release);
            EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
            EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
            EXPECT_EQ(JoinThread(thread), 42u);
            EXPECT_EQ(ranAs, DWORD(id));
        }
        CloseHandle(release);
        CloseHandle(done);
    }
}

}  // namespace
