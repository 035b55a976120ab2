// Thread message queues as the render thread uses them: a queue exists from the thread's first
// peek until it ends, messages come in posting order, and the quit message comes last.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

struct QueueRun {
    HANDLE toMain;
    HANDLE toWorker;
    DWORD threadId;
    UINT filtered, unmatched, peeked;
    UINT received[4];
    WPARAM params[4];
    int count;
    BOOL quitResult;
    WPARAM quitCode;
    BOOL leftAfterQuit;
};

unsigned __stdcall QueueWorker(void *arg) {
    QueueRun *run = static_cast<QueueRun *>(arg);
    MSG msg;
    run->threadId = GetCurrentThreadId();
    SetEvent(run->toMain);  // no queue yet
    WaitForSingleObject(run->toWorker, INFINITE);
    PeekMessageA(&msg, nullptr, kUserMessage, kUserMessage, PM_NOREMOVE);  // creates the queue
    SetEvent(run->toMain);
    WaitForSingleObject(run->toWorker, INFINITE);

    run->filtered = PeekMessageA(&msg, nullptr, kUserMessage + 2, kUserMessage + 2, PM_REMOVE) ? msg.message : 0;
    run->unmatched = PeekMessageA(&msg, nullptr, kUserMessage + 9, kUserMessage + 9, PM_REMOVE) ? msg.message : 0;
    run->peeked = PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) ? msg.message : 0;
    PostQuitMessage(7);
    PostThreadMessageA(run->threadId, kUserMessage + 4, 4, 0);  // posted after the quit, still first
    BOOL result;
    while ((result = GetMessageA(&msg, nullptr, 0, 0)) > 0 && run->count < 4) {
        run->received[run->count] = msg.message;
        run->params[run->count++] = msg.wParam;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    run->quitResult = result;
    run->quitCode = msg.message == WM_QUIT ? msg.wParam : 0xDEAD;
    run->leftAfterQuit = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    return 0;
}

TEST(MessageQueueContract, QueueFromFirstPeekFifoThenQuit) {
    QueueRun run = {};
    run.toMain = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    run.toWorker = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = StartThread(QueueWorker, &run);
    ASSERT_NE(thread, nullptr);

    ASSERT_EQ(WaitForSingleObject(run.toMain, 5000), WAIT_OBJECT_0);
    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageA(run.threadId, kUserMessage + 1, 1, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_THREAD_ID));
    SetEvent(run.toWorker);

    ASSERT_EQ(WaitForSingleObject(run.toMain, 5000), WAIT_OBJECT_0);
    for (UINT n = 1; n <= 3; ++n) EXPECT_TRUE(PostThreadMessageA(run.threadId, kUserMessage + n, n, 0));
    SetEvent(run.toWorker);
    EXPECT_EQ(JoinThread(thread), 0u);

    EXPECT_EQ(run.filtered, kUserMessage + 2);  // the filter picks it out of order
    EXPECT_EQ(run.unmatched, 0u);
    EXPECT_EQ(run.peeked, kUserMessage + 1);  // peeking without removing leaves it first
    ASSERT_EQ(run.count, 3);
    const UINT order[] = {kUserMessage + 1, kUserMessage + 3, kUserMessage + 4};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(run.received[i], order[i]);
        EXPECT_EQ(run.params[i], WPARAM(order[i] - kUserMessage));
    }
    EXPECT_EQ(run.quitResult, FALSE);
    EXPECT_EQ(run.quitCode, WPARAM(7));
    EXPECT_FALSE(run.leftAfterQuit);

    EXPECT_FALSE(PostThreadMessageA(run.threadId, kUserMessage, 0, 0));  // the queue ended with its thread
    CloseHandle(run.toMain);
    CloseHandle(run.toWorker);
}

}  // namespace
