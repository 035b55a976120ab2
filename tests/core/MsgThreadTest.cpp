// The worker thread: message order, drain, start and stop rules, fault reporting and the tick thread's timing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "core/MsgThread.h"

namespace {

class RecordingThread : public CMsgThread {
public:
    int OnNotification(const ThreadMessage &message) override {
        if (message.param1 == kThrow) throw std::runtime_error("handler fault");
        std::lock_guard<std::mutex> guard(lock);
        seen.push_back(message.param1);
        return message.param1 == kEnd ? -1 : 0;
    }
    std::vector<DWORD> Seen() {
        std::lock_guard<std::mutex> guard(lock);
        return seen;
    }
    static const DWORD kEnd = 0xE0D, kThrow = 0xBAD;
    std::mutex lock;
    std::vector<DWORD> seen;
};

void WaitForEnd(CMsgThread &thread) { ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.ThreadHandle(), 5000)); }

TEST(MsgThread, RunsPostsInOrderUntilTheLoopEndsOrFaultsThenDiscardsAndRefusesThem) {
    RecordingThread thread;
    for (DWORD i = 1; i <= 3; ++i) thread.Post(i << 16, i, TRUE, nullptr, 0, 0);
    thread.Post(0, RecordingThread::kEnd, TRUE, nullptr, 0, 0);
    // Owned data of discarded messages is freed; the leak checker fails the suite otherwise.
    thread.Post(0, 9, TRUE, std::malloc(64), 0, 1);
    ASSERT_NE(nullptr, thread.Start(0));
    WaitForEnd(thread);
    EXPECT_EQ((std::vector<DWORD>{1, 2, 3, RecordingThread::kEnd}), thread.Seen());
    thread.Post(0, 3, TRUE, nullptr, 0, 0);  // refused: the loop has ended
    thread.ResetStop();
    thread.Post(0, 4, TRUE, nullptr, 0, 0);
    HANDLE second = thread.Start(0);
    for (int waited = 0; waited < 5000 && thread.Seen().size() < 5; ++waited) Sleep(1);
    EXPECT_EQ((std::vector<DWORD>{1, 2, 3, RecordingThread::kEnd, 4}), thread.Seen()) << "a reset object queues again";
    EXPECT_EQ(second, thread.Start(0)) << "a running thread is not started twice";
    thread.Stop(TRUE);
    EXPECT_FALSE(thread.IsRunning()) << "stop waits for the thread";
    void *refused = std::malloc(16);
    thread.Post(0, 1, TRUE, refused, 0, 1);  // refused, it leaves its data with the poster
    std::free(refused);

    // A handler fault is reported by the notification's own guard and ends the loop.
    thread.ResetStop();
    thread.Post(0x403u << 16 | 7, RecordingThread::kThrow, TRUE, nullptr, 0, 0);
    thread.Post(0, 5, TRUE, nullptr, 0, 0);
    testing::internal::CaptureStderr();
    thread.Start(0);
    WaitForEnd(thread);
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, output.find("ThreadNotification, Exception: 0XE06D7363, 0X403, 7")) << output;
    EXPECT_EQ(5u, thread.Seen().size()) << "nothing after the fault was handled";
}

struct Tick {
    DWORD sinceStart, sinceLast;
};

TEST(TickThread, TicksAtOnceThenEveryPeriod) {
    static std::mutex lock;
    static std::vector<Tick> ticks;
    CTickThread thread;
    thread.SetTickCallback(
        898,
        [](DWORD, DWORD sinceStart, DWORD sinceLast, void *) {
            std::lock_guard<std::mutex> guard(lock);
            ticks.push_back({sinceStart, sinceLast});
        },
        &ticks);
    thread.Start(0);
    Sleep(50);  // the timer is armed while the thread waits
    ASSERT_TRUE(thread.SetTimer(50));
    Sleep(520);
    ASSERT_TRUE(thread.CancelTimer());
    thread.Stop(TRUE);
    const size_t ticked = ticks.size();
    thread.OnTimer();  // a tick already on its way when the timer was cancelled
    EXPECT_EQ(ticked, ticks.size()) << "a tick after the cancel timed from nothing";
    ASSERT_GE(ticks.size(), 5u);
    ASSERT_LE(ticks.size(), 12u);
    EXPECT_LT(ticks[0].sinceStart, 30u) << "the first expiry is immediate";
    for (size_t i = 1; i < ticks.size(); ++i) {
        EXPECT_GT(ticks[i].sinceStart, ticks[i - 1].sinceStart);
        EXPECT_GE(ticks[i].sinceLast, 20u);
        EXPECT_LE(ticks[i].sinceLast, 200u);
    }
}

}  // namespace
