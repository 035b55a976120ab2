// Thread message queues as the render thread uses them: made by the first peek, in posting order, quit message last.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

TEST(MessageQueueContract, QueueFromFirstPeekFifoThenQuit) {
    HANDLE started = CreateEventA(nullptr, FALSE, FALSE, nullptr), go = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD threadId = 0;
    auto body = [&]() -> unsigned {
        MSG msg;
        threadId = GetCurrentThreadId();
        SetEvent(started);
        WaitForSingleObject(go, INFINITE);
        PeekMessageA(&msg, nullptr, kUserMessage, kUserMessage, PM_NOREMOVE);  // creates the queue
        for (UINT n = 1; n <= 3; ++n) EXPECT_TRUE(PostThreadMessageA(threadId, kUserMessage + n, n, 0));
        PostQuitMessage(0);
        PostThreadMessageA(threadId, kUserMessage + 4, 4, 0);  // posted after the quit, still first
        UINT n = 1;
        BOOL result;
        for (; (result = GetMessageA(&msg, nullptr, 0, 0)) > 0; ++n) {
            EXPECT_EQ(msg.message, kUserMessage + n);
            EXPECT_EQ(msg.wParam, WPARAM(n));
        }
        EXPECT_EQ(n, 5u);
        EXPECT_EQ(result, FALSE);
        return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);  // nothing is left after the quit
    };
    auto run = [](void *b) -> unsigned { return (*static_cast<decltype(body) *>(b))(); };
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, run, &body, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(started, 5000), WAIT_OBJECT_0);
    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageA(threadId, kUserMessage, 0, 0)) << "no queue before the first peek";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_THREAD_ID));
    SetEvent(go);
    DWORD code = 0xDEAD;  // if it hangs
    if (WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0) GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(PostThreadMessageA(threadId, kUserMessage, 0, 0)) << "the queue ended with its thread";
    CloseHandle(started);
    CloseHandle(go);
}

}  // namespace
