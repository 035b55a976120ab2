// A host that plays and records through the exports and keeps every event with its payload and arrival time.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "HostHarness.h"
#include "PlaybackMedia.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Delivery {
    uint32_t code;
    std::vector<char> payload;
    Clock::time_point at;
    HostThreadId thread;
    uint32_t arg1 = 0, arg2 = 0;  // a capture event's two arguments
};

enum class Source { File, Memory };

// One playback of a named test medium, and its description in failure messages.
struct Play {
    const char *medium;
    Source source;
    uint32_t mode;
};

inline std::string Describe(const Play &play) {
    return std::string(play.medium) + (play.source == Source::File ? " file" : " image") + " mode " +
           std::to_string(play.mode);
}

class PlaybackHost {
public:
    static void BRIVANE_CALL OnEvent(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *payload,
                                     uint32_t size);
    static void BRIVANE_CALL OnCapture(uint32_t handle, BRIVANE_USER user, uint32_t code, uint32_t arg1, uint32_t arg2,
                                       const void *payload, uint32_t size);
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this) ^ kWide; }

    uint32_t Open(const Medium &medium, Source source, uint32_t mode);
    // Opens, lets `prepare` set the new instance up, and plays; an open that is refused fails the test.
    uint32_t Start(const Medium &medium, Source source, uint32_t mode,
                   const std::function<void(uint32_t)> &prepare = nullptr);
    // Waits until the events of `handle` satisfy `done`; false when the timeout passes first.
    bool WaitUntil(uint32_t handle, milliseconds timeout,
                   const std::function<bool(const std::vector<Delivery> &)> &done);
    bool WaitForCode(uint32_t handle, uint32_t code, milliseconds timeout, size_t count = 1);
    // EVENT_END or EVENT_COMMAND_FAILED.
    bool WaitForFinish(uint32_t handle, milliseconds timeout);
    std::vector<Delivery> Of(uint32_t handle);
    // Returns once earlier commands ran and their events were delivered: a failing open's event 6 queues behind them.
    void Fence();
    // An open that fails as event 6; it also sets the playback callback, through which capture failures arrive.
    uint32_t OpenMissing();

private:
    // Sets the high half on a 64-bit build, so a user value cut to 32 bits never finds its host.
    static constexpr BRIVANE_USER kWide = sizeof(BRIVANE_USER) > 4 ? BRIVANE_USER(0x5A5A5A5Au) << 16 << 16 : 0;

    HostMutex m_lock;
    std::map<uint32_t, std::vector<Delivery>> m_events;
};

// The events as text, runs folded: "FORMAT PLAYING DATA*34 END", or "DATA* END" without the counts.
std::string Sequence(const std::vector<Delivery> &events, bool counted = true);
// The data events' bytes joined, from event index `from` on.
std::vector<char> Data(const std::vector<Delivery> &events, size_t from = 0);
// Index of the nth event with this code, or events.size().
size_t IndexOf(const std::vector<Delivery> &events, uint32_t code, size_t nth = 0);
size_t Count(const std::vector<Delivery> &events, uint32_t code);
bool IsPrefix(const std::vector<char> &bytes, const std::vector<char> &of);
// The bytes from `from` on, or `length` of them with silence past the end.
std::vector<char> Slice(const std::vector<char> &bytes, size_t from, size_t length = SIZE_MAX);
// The non-silent frames of what the disk driver wrote, 16-bit stereo: first, last and the longest silent run between.
struct Sound {
    size_t first = 0, last = 0, longestGap = 0;
};
Sound Listen(const std::vector<char> &output);
// Time enough to play a medium several times over, for slow sanitizer builds.
milliseconds Patience(const Medium &medium);

class PlaybackTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1u, Brivane().InitBrivane()); }
    void TearDown() override { Brivane().UnInitBrivane(); }

    PlaybackHost host;
};
