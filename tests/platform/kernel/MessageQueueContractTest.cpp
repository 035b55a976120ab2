// Thread message queues as the render thread uses them: made by the first peek, in posting order, quit message last.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

TEST(MessageQueueContract, QueueFromFirstPeekFifoThenQuit) {
    HANDLE toMain = CreateEventA(nullptr, FALSE, FALSE, nullptr),
           toWorker = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD threadId = 0;
    UINT peeked = 0, received[4] = {};
    WPARAM params[4] = {}, quitCode = 0;
    int count = 0;
    BOOL quitResult = TRUE, leftAfterQuit = TRUE;
    auto body = [&]() -> unsigned {
        MSG msg;
        threadId = GetCurrentThreadId();
        SetEvent(toMain);  // no queue yet
        WaitForSingleObject(toWorker, INFINITE);
        PeekMessageA(&msg, nullptr, kUserMessage, kUserMessage, PM_NOREMOVE);  // creates the queue
        SetEvent(toMain);
        WaitForSingleObject(toWorker, INFINITE);
        peeked = PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) ? msg.message : 0;
        PostQuitMessage(7);
        PostThreadMessageA(threadId, kUserMessage + 4, 4, 0);  // posted after the quit, still first
        while ((quitResult = GetMessageA(&msg, nullptr, 0, 0)) > 0 && count < 4) {
            received[count] = msg.message;
            params[count++] = msg.wParam;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        quitCode = msg.message == WM_QUIT ? msg.wParam : 0xDEAD;
        leftAfterQuit = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        return 0;
    };
    HANDLE thread = StartThread(body);
    ASSERT_NE(thread, nullptr);

    ASSERT_EQ(WaitForSingleObject(toMain, 5000), WAIT_OBJECT_0);
    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageA(threadId, kUserMessage + 1, 1, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_THREAD_ID));
    SetEvent(toWorker);

    ASSERT_EQ(WaitForSingleObject(toMain, 5000), WAIT_OBJECT_0);
    for (UINT n = 1; n <= 3; ++n) EXPECT_TRUE(PostThreadMessageA(threadId, kUserMessage + n, n, 0));
    SetEvent(toWorker);
    EXPECT_EQ(JoinThread(thread), 0u);

    EXPECT_EQ(peeked, kUserMessage + 1);  // peeking without removing leaves it first
    ASSERT_EQ(count, 4);
    const UINT order[] = {kUserMessage + 1, kUserMessage + 2, kUserMessage + 3, kUserMessage + 4};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(received[i], order[i]);
        EXPECT_EQ(params[i], WPARAM(order[i] - kUserMessage));
    }
    EXPECT_EQ(quitResult, FALSE);
    EXPECT_EQ(quitCode, WPARAM(7));
    EXPECT_FALSE(leftAfterQuit);

    EXPECT_FALSE(PostThreadMessageA(threadId, kUserMessage, 0, 0));  // the queue ended with its thread
    CloseHandle(toMain);
    CloseHandle(toWorker);
}

}  // namespace
