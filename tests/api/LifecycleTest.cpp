// The exports as a host meets them: reference-counted start and stop, argument checks, the failure
// values, open failures as event 6 on the service thread, the instance limit, and a shutdown that
// meets a callback calling back in.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "HostHarness.h"
#include "PlaybackMedia.h"

namespace {

const BrivaneExports &B() { return Brivane(); }

using std::chrono::milliseconds;
using std::this_thread::sleep_for;

#ifdef _WIN32
constexpr bool kOnWindows = true;
#else
constexpr bool kOnWindows = false;
#endif

TEST(Lifecycle, CommandExportsAnswerOnlyWhileInitialised) {
    struct Command {
        const char *name;
        std::function<uint32_t(uint32_t)> call;
    };
    const Command commands[] = {
        {"AudioOutPlay", [](uint32_t h) { return B().AudioOutPlay(h, 0); }},
        {"AudioOutPlay pause", [](uint32_t h) { return B().AudioOutPlay(h, 1); }},
        {"AudioOutSeek", [](uint32_t h) { return B().AudioOutSeek(h, 1000); }},
        {"AudioOutSetVolume", [](uint32_t h) { return B().AudioOutSetVolume(h, 50); }},
        {"AudioOutSetDuration", [](uint32_t h) { return B().AudioOutSetDuration(h, 0, BRIVANE_TO_END); }},
        {"AudioOutSetSpeed", [](uint32_t h) { return B().AudioOutSetSpeed(h, 150); }},
        {"AudioOutSetEventMask", [](uint32_t h) { return B().AudioOutSetEventMask(h, 0xFFFF); }},
        {"AudioInStart", [](uint32_t h) { return B().AudioInStart(h, 0); }},
        {"AudioInStart stop", [](uint32_t h) { return B().AudioInStart(h, 1); }},
        {"AudioInStop", [](uint32_t h) { return B().AudioInStop(h); }},
    };
    // Each step changes the init count, then every command answers for handles never issued.
    struct Step {
        const char *what;
        std::function<void()> run;
        uint32_t expected;
    };
    const Step steps[] = {
        {"before InitBrivane", [] {}, 0},
        {"first InitBrivane", [] { EXPECT_EQ(B().InitBrivane(), 1u); }, 1},
        {"second InitBrivane", [] { EXPECT_EQ(B().InitBrivane(), 1u); }, 1},
        {"one UnInitBrivane of two", [] { B().UnInitBrivane(); }, 1},
        {"last UnInitBrivane", [] { B().UnInitBrivane(); }, 0},
        {"one UnInitBrivane too many", [] { B().UnInitBrivane(); }, 0},
        {"InitBrivane again", [] { EXPECT_EQ(B().InitBrivane(), 1u); }, 1},
        {"its UnInitBrivane", [] { B().UnInitBrivane(); }, 0},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        step.run();
        for (const Command &command : commands)
            for (uint32_t handle : {0u, 0xBEEFu, 0x1BEEFu})
                EXPECT_EQ(command.call(handle), step.expected) << command.name;
    }
}

TEST(Lifecycle, HandlesContinueTheirNumberingAcrossReinitialisation) {
    HostLog log;
    EXPECT_EQ(B().AudioOutFileOpen(1, Path("missing.wma").c_str(), &HostLog::OnPlay, log.User()), 0u)
        << "before InitBrivane";
    uint32_t handles[3] = {};
    for (uint32_t &handle : handles) {
        ASSERT_EQ(B().InitBrivane(), 1u);
        handle = B().AudioOutFileOpen(1, Path("missing.wma").c_str(), &HostLog::OnPlay, log.User());
        EXPECT_TRUE(log.WaitForEvent(handle, BRIVANE_EVENT_COMMAND_FAILED));
        B().AudioOutClose(handle);
        B().UnInitBrivane();
    }
    EXPECT_NE(handles[0], 0u);
    EXPECT_EQ(handles[1], handles[0] + 1);
    EXPECT_EQ(handles[2], handles[1] + 1);
}

TEST(Lifecycle, FileExportsGiveTheirFailureValuesWithOrWithoutInitialisation) {
    const HostText &missing = Path("brivane-missing/none.wav");
    struct Check {
        const char *what;
        std::function<bool()> holds;
    };
    const Check checks[] = {
        {"AudioInSetVolume is 0", [] { return B().AudioInSetVolume(1, 50) == 0; }},
        {"Convert WMA to WMA is 0", [] { return B().Convert(1, "a.wma", 1, "b.wma", nullptr) == 0; }},
        {"Convert WAV to WAV is 0", [] { return B().Convert(2, "a.wav", 2, "b.wav", nullptr) == 0; }},
        {"GetAudioPCM without a decoder is 0",
         [] { return B().GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr) == 0; }},
        {"GetWmaFileDuration of a missing file is 0", [&] { return B().GetWmaFileDuration(missing.c_str()) == 0; }},
        {"AudioWavGetData of a missing file is null",
         [&] {
             uint32_t samples = 0;
             BrivaneWaveFormat format{};
             return B().AudioWavGetData(missing.c_str(), &samples, &format, 0) == nullptr &&
                    B().AudioWavGetData(missing.c_str(), &samples, nullptr, 0) == nullptr;
         }},
        {"AudioWavFreeData of null is 1", [] { return B().AudioWavFreeData(nullptr) == 1; }},
    };
    for (bool initialised : {false, true}) {
        if (initialised) {
            ASSERT_EQ(B().InitBrivane(), 1u);
        }
        for (const Check &check : checks)
            EXPECT_TRUE(check.holds()) << check.what << (initialised ? ", initialised" : "");
    }
    B().UnInitBrivane();
}

class LibraryTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(B().InitBrivane(), 1u); }
    void TearDown() override { B().UnInitBrivane(); }

    uint32_t OpenMissingFile() {
        return B().AudioOutFileOpen(1, Path("missing.wma").c_str(), &HostLog::OnPlay, log.User());
    }

    HostLog log;
};

TEST_F(LibraryTest, OpensAreRefusedOrFailAsEventSixOnOneServiceThread) {
    static const unsigned char image[64] = {'R', 'I', 'F', 'F'};
    const void *unreadable = reinterpret_cast<const void *>(16);
    BrivaneWaveFormat format = {1, 0, 0, 0, 0, 16, 0};  // no channels: never a capture format
    const HostText profile = Path("<profile/>");
    auto cb = &HostLog::OnPlay;
    const BRIVANE_USER user = log.User();

    struct Open {
        const char *what;
        uint32_t handle;
        bool accepted;
    };
    std::vector<Open> opens = {
        {"null image", B().AudioOutOpen(1, nullptr, 64, cb, user), false},
        {"empty image", B().AudioOutOpen(1, image, 0, cb, user), false},
        {"negative length", B().AudioOutOpen(1, image, -64, cb, user), false},
        {"null path", B().AudioOutFileOpen(1, nullptr, cb, user), false},
        {"empty path", B().AudioOutFileOpen(1, Path("").c_str(), cb, user), false},
        {"capture kind 2", B().AudioInOpen(2, &format, profile.c_str(), &HostLog::OnCapture, user), false},
        {"capture without format", B().AudioInOpen(1, nullptr, profile.c_str(), &HostLog::OnCapture, user), false},
        {"memory image", B().AudioOutOpen(1, image, sizeof image, cb, user), true},
        {"direct WAV image", B().AudioOutOpen(2, image, sizeof image, cb, user), true},
        {"missing file", B().AudioOutFileOpen(1, Path("missing.wma").c_str(), cb, user), true},
        {"missing file in direct WAV mode", B().AudioOutFileOpen(2, Path("missing.wav").c_str(), cb, user), true},
        // Its failure comes through the playback callback set last, not the capture callback.
        {"capture", B().AudioInOpen(1, &format, profile.c_str(), &HostLog::OnCapture, user), true},
    };
    // Reading it faults: the read fails, and the service thread goes on (a guard only Windows has).
    if (kOnWindows) {
        opens.push_back({"unreadable image", B().AudioOutOpen(1, unreadable, sizeof image, cb, user), true});
        opens.push_back({"unreadable direct WAV image", B().AudioOutOpen(2, unreadable, sizeof image, cb, user), true});
    }
    std::set<uint32_t> issued;
    for (const Open &open : opens) {
        SCOPED_TRACE(open.what);
        if (!open.accepted) {
            EXPECT_EQ(open.handle, 0u);
            continue;
        }
        ASSERT_NE(open.handle, 0u);
        EXPECT_TRUE(issued.insert(open.handle).second) << "handle issued twice";
        B().AudioOutPlay(open.handle, 0);  // whichever of open or play fails, it is event 6
        EXPECT_TRUE(log.WaitForEvent(open.handle, BRIVANE_EVENT_COMMAND_FAILED));
        EXPECT_EQ(B().AudioOutGetWholeDuration(open.handle), 0u);
    }
    EXPECT_EQ(B().AudioOutGetWholeDuration(0x7777), 0u);

    std::set<HostThreadId> threads;
    for (const HostEvent &event : log.Events()) {
        EXPECT_TRUE(issued.count(event.handle)) << "event for handle " << event.handle;
        EXPECT_EQ(event.user, user);
        if (event.code == BRIVANE_EVENT_COMMAND_FAILED) {
            EXPECT_EQ(event.payload, nullptr);
            EXPECT_EQ(event.size, 0u);
        }
        threads.insert(event.thread);
    }
    EXPECT_EQ(threads.size(), 1u) << "every event on the same library thread";
    EXPECT_EQ(threads.count(CurrentHostThread()), 0u) << "never on the host's thread";
    EXPECT_EQ(log.CaptureEventCount(), 0u);
    for (const Open &open : opens) {
        if (open.handle) B().AudioOutClose(open.handle);
    }
}

TEST_F(LibraryTest, AtMostAHundredInstancesAreOpenAtOnce) {
    std::vector<uint32_t> handles;
    for (int i = 0; i < 100; ++i) {
        handles.push_back(OpenMissingFile());
        ASSERT_NE(handles.back(), 0u) << "open " << i + 1;
    }
    EXPECT_EQ(OpenMissingFile(), 0u) << "the 101st open";

    B().AudioOutClose(handles[37]);  // freed on the service thread, a little later
    uint32_t again = 0;
    for (int tries = 0; !again && tries < 500; ++tries) {
        again = OpenMissingFile();
        if (!again) sleep_for(milliseconds(10));
    }
    EXPECT_NE(again, 0u) << "closing makes room once the service has run the close";
    EXPECT_EQ(OpenMissingFile(), 0u) << "the table is full again";
    handles[37] = again;
    for (uint32_t handle : handles) B().AudioOutClose(handle);
}

bool WaitFor(const std::atomic<bool> &flag, int limitMs = 10000) {
    for (int waited = 0; !flag && waited < limitMs; waited += 5) sleep_for(milliseconds(5));
    return flag;
}

// A callback that calls a locked export while the last UnInitBrivane shuts the library down: the
// shutdown holds the library lock while it waits for the service thread, so the export must not wait.
std::atomic<bool> g_callbackEntered{false};

void BRIVANE_CALL CallBackIntoLibrary(uint32_t handle, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code != BRIVANE_EVENT_DATA || g_callbackEntered.exchange(true)) return;
    sleep_for(milliseconds(300));
    B().AudioOutSetVolume(handle, 50);
}

TEST(Lifecycle, ShutdownWhileACallbackCallsTheLibraryEnds) {
    ASSERT_EQ(1u, B().InitBrivane());
    const std::vector<char> wave = NoiseWave(1, 8000, 16, 3000).image;
    const uint32_t handle =
        B().AudioOutOpen(BRIVANE_MODE_WAVE, wave.data(), int32_t(wave.size()), &CallBackIntoLibrary, 0);
    ASSERT_NE(0u, handle);
    B().AudioOutPlay(handle, 0);
    ASSERT_TRUE(WaitFor(g_callbackEntered));
    std::atomic<bool> done{false};
    HostThread shutdown([&] {
        B().UnInitBrivane();
        done = true;
    });
    ASSERT_TRUE(WaitFor(done, 20000)) << "UnInitBrivane did not return while a callback called back into the library";
    shutdown.join();
}

// While a decode holds the library lock, the last UnInitBrivane waits for it before it lets callbacks
// on the service thread pass the lock by; until then a callback's locked export waits too, rather than
// running beside the decode.
std::atomic<bool> g_pcmHeld{false}, g_releasePcm{false}, g_lateEntered{false}, g_go{false}, g_lateReturned{false};

void BRIVANE_CALL HoldPcm(uint32_t, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code != BRIVANE_PCM_DATA || g_pcmHeld.exchange(true)) return;
    while (!g_releasePcm) sleep_for(milliseconds(5));
}

void BRIVANE_CALL LockedExportOnGo(uint32_t handle, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code != BRIVANE_EVENT_COMMAND_FAILED || g_lateEntered.exchange(true)) return;
    while (!g_go) sleep_for(milliseconds(5));
    B().AudioOutSetVolume(handle, 50);
    g_lateReturned = true;
}

TEST(Lifecycle, ShutdownTakesTheLibraryLockBeforeCallbacksMayPassIt) {
    const std::string path = WriteTemp("lifecycle-noise.wav", NoiseWave(1, 8000, 16, 1000).image);
    ASSERT_EQ(1u, B().InitBrivane());
    ASSERT_NE(0u, B().AudioOutFileOpen(1, Path("missing.wma").c_str(), &LockedExportOnGo, 0));
    ASSERT_TRUE(WaitFor(g_lateEntered));
    std::atomic<bool> decoded{false}, shutDown{false};
    HostThread decode([&] {
        B().GetAudioPCM(1, path.c_str(), 0, 0, &HoldPcm, 0, nullptr);
        decoded = true;
    });
    ASSERT_TRUE(WaitFor(g_pcmHeld));
    HostThread shutdown([&] {
        B().UnInitBrivane();
        shutDown = true;
    });
    sleep_for(milliseconds(100));
    g_go = true;
    sleep_for(milliseconds(300));
    EXPECT_FALSE(g_lateReturned) << "a callback's locked export ran while a decode held the library lock";
    g_releasePcm = true;
    EXPECT_TRUE(WaitFor(decoded));
    EXPECT_TRUE(WaitFor(shutDown));
    decode.join();
    shutdown.join();
    B().GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr);
}

}  // namespace
