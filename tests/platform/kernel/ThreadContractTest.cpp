// Threads: ids, suspended start, exit codes, and handles that stay signalled once the thread ends.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

struct Gate {
    HANDLE release;
    HANDLE done;
    DWORD id;
    LONG ran;
};

unsigned __stdcall GatedWorker(void *arg) {
    Gate *gate = static_cast<Gate *>(arg);
    gate->id = GetCurrentThreadId();
    InterlockedExchange(&gate->ran, 1);
    WaitForSingleObject(gate->release, INFINITE);
    SetEvent(gate->done);
    return 42;
}

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
        Gate gate = {CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr), 0, 0};
        unsigned id = 0;
        HANDLE thread = StartThread(GatedWorker, &gate, c.flags, &id);
        ASSERT_NE(thread, nullptr);
        EXPECT_NE(id, 0u);
        EXPECT_NE(id, GetCurrentThreadId());
        EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL));
        if (c.flags & CREATE_SUSPENDED) {
            Sleep(50);
            EXPECT_EQ(InterlockedCompareExchange(&gate.ran, 0, 0), 0);
            EXPECT_EQ(ResumeThread(thread), 1u);
        }
        EXPECT_EQ(WaitForSingleObject(thread, 100), kWaitTimeout);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, DWORD(STILL_ACTIVE));

        if (c.closeWhileRunning) {
            EXPECT_TRUE(CloseHandle(thread));
            SetEvent(gate.release);
            EXPECT_EQ(WaitForSingleObject(gate.done, 5000), WAIT_OBJECT_0);
        } else {
            SetEvent(gate.release);
            EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
            EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
            EXPECT_TRUE(GetExitCodeThread(thread, &code));
            EXPECT_EQ(code, 42u);
            EXPECT_EQ(gate.id, DWORD(id));
            CloseHandle(thread);
        }
        CloseHandle(gate.release);
        CloseHandle(gate.done);
    }
}

}  // namespace
