// The exports as a host meets them: reference-counted start and stop, argument checks, the
// failure values, the instance limit, and a shutdown that meets a callback calling back in.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "HostHarness.h"

namespace {

uint32_t CommandResults() {
    return AudioOutPlay(1, 0) + AudioOutPlay(1, 1) + AudioOutSeek(1, 0) + AudioOutSetVolume(1, 50) +
           AudioOutSetDuration(1, 0, BRIVANE_TO_END) + AudioOutSetSpeed(1, 100) + AudioOutSetEventMask(1, 0) +
           AudioInStart(1, 0) + AudioInStart(1, 1) + AudioInStop(1);
}

TEST(Lifecycle, ReferenceCountedInitialisationKeepsHandleNumbering) {
    HostLog log;
    const char16_t path[] = u"missing.wma";
    EXPECT_EQ(0u, CommandResults()) << "before InitBrivane nothing is posted";
    EXPECT_EQ(0u, AudioOutFileOpen(1, path, &HostLog::OnPlay, log.User()));

    ASSERT_EQ(1u, InitBrivane());
    ASSERT_EQ(1u, InitBrivane());
    uint32_t first = AudioOutFileOpen(1, path, &HostLog::OnPlay, log.User());
    EXPECT_NE(0u, first);
    UnInitBrivane();
    EXPECT_EQ(10u, CommandResults()) << "one UnInitBrivane of two leaves the library running";
    UnInitBrivane();
    EXPECT_EQ(0u, CommandResults());
    UnInitBrivane();  // one too many: must not leave the count below zero

    ASSERT_EQ(1u, InitBrivane());
    EXPECT_EQ(10u, CommandResults()) << "the next InitBrivane initialises again";
    uint32_t second = AudioOutFileOpen(1, path, &HostLog::OnPlay, log.User());
    EXPECT_EQ(first + 1, second) << "handles continue the old numbering";
    EXPECT_TRUE(log.WaitForEvent(second, BRIVANE_EVENT_COMMAND_FAILED));
    UnInitBrivane();
}

TEST(Lifecycle, OpenExportsRefuseBadArguments) {
    ASSERT_EQ(1u, InitBrivane());
    HostLog log;
    const char image[4] = {1, 2, 3, 4};
    const char16_t empty[] = u"";
    BrivaneWaveFormat format = {1, 1, 16000, 32000, 2, 16, 0};
    struct Case {
        const char *what;
        uint32_t handle;
    } cases[] = {
        {"null image", AudioOutOpen(1, nullptr, 4, &HostLog::OnPlay, log.User())},
        {"empty image", AudioOutOpen(1, image, 0, &HostLog::OnPlay, log.User())},
        {"negative length", AudioOutOpen(1, image, -4, &HostLog::OnPlay, log.User())},
        {"null path", AudioOutFileOpen(1, nullptr, &HostLog::OnPlay, log.User())},
        {"empty path", AudioOutFileOpen(1, empty, &HostLog::OnPlay, log.User())},
        {"capture kind 2", AudioInOpen(2, &format, nullptr, nullptr, 0)},
        {"capture without format", AudioInOpen(1, nullptr, nullptr, nullptr, 0)},
    };
    for (const Case &c : cases) EXPECT_EQ(0u, c.handle) << c.what;
    UnInitBrivane();
}

TEST(Lifecycle, FileExportsGiveTheirFailureValues) {
    const char16_t missing[] = u"/nonexistent/file.wav";
    uint32_t samples = 77;
    EXPECT_EQ(0u, Convert(1, "a.wma", 1, "b.wma", nullptr));
    EXPECT_EQ(0u, Convert(2, "a.wav", 2, "b.wav", nullptr));
    EXPECT_EQ(0u, GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr)) << "no decoder to finish";
    EXPECT_EQ(0u, GetWmaFileDuration(missing));
    EXPECT_EQ(nullptr, AudioWavGetData(missing, &samples, nullptr, 0));
    EXPECT_EQ(1u, AudioWavFreeData(nullptr));
    EXPECT_EQ(0u, AudioInSetVolume(1, 2));
}

TEST(Lifecycle, OpenFailuresArriveAsEventSixOnTheServiceThread) {
    ASSERT_EQ(1u, InitBrivane());
    HostLog log;
    const char image[16] = {};
    BrivaneWaveFormat format = {1, 1, 16000, 32000, 2, 16, 0};
    uint32_t fromMemory = AudioOutOpen(1, image, sizeof image, &HostLog::OnPlay, log.User());
    uint32_t fromFile = AudioOutFileOpen(2, Path("missing.wav").c_str(), &HostLog::OnPlay, log.User());
    uint32_t capture = AudioInOpen(1, &format, nullptr, nullptr, 0);
    // Sixteen zero bytes open as an image; they fail once played.
    AudioOutPlay(fromMemory, 0);
    for (uint32_t handle : {fromMemory, fromFile, capture}) {
        ASSERT_NE(0u, handle);
        EXPECT_TRUE(log.WaitForEvent(handle, BRIVANE_EVENT_COMMAND_FAILED)) << handle;
    }
    for (const HostEvent &event : log.Events()) EXPECT_NE(std::this_thread::get_id(), event.thread);
    EXPECT_EQ(0u, AudioOutGetWholeDuration(fromMemory));
    EXPECT_EQ(0u, AudioOutGetWholeDuration(0x7777));
    AudioOutClose(fromMemory);
    AudioOutClose(fromFile);
    AudioInClose(capture);
    UnInitBrivane();
}

// A callback that calls a locked export while the last UnInitBrivane shuts the library down: the
// shutdown holds the library lock while it waits for the service thread, so the export must not wait.
std::atomic<bool> g_callbackEntered{false};

void BRIVANE_CALL CallBackIntoLibrary(uint32_t handle, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code != BRIVANE_EVENT_DATA || g_callbackEntered.exchange(true)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    AudioOutSetVolume(handle, 50);
}

std::vector<char> SilentWave(uint32_t seconds) {
    const uint32_t bytes = 8000 * 2 * seconds;
    std::vector<char> wave(44 + bytes, 0);
    const uint32_t fields[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746d66, 16, 0x00010001, 8000, 16000, 0x00100002,
                               0x61746164, bytes};
    std::memcpy(wave.data(), fields, sizeof fields);
    return wave;
}

TEST(Lifecycle, ShutdownWhileACallbackCallsTheLibraryEnds) {
    ASSERT_EQ(1u, InitBrivane());
    const std::vector<char> wave = SilentWave(3);
    const uint32_t handle = AudioOutOpen(BRIVANE_MODE_WAVE, wave.data(), int32_t(wave.size()), &CallBackIntoLibrary, 0);
    ASSERT_NE(0u, handle);
    AudioOutPlay(handle, 0);
    for (int waited = 0; !g_callbackEntered && waited < 10000; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(g_callbackEntered);
    std::atomic<bool> done{false};
    std::thread shutdown([&] {
        UnInitBrivane();
        done = true;
    });
    for (int waited = 0; !done && waited < 20000; waited += 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(done) << "UnInitBrivane did not return while a callback called back into the library";
    shutdown.join();
}

// While a decode holds the library lock, the last UnInitBrivane waits for it before it lets callbacks
// on the service thread pass the lock by; until then a callback's locked export waits too, rather than
// running beside the decode.
std::atomic<bool> g_pcmHeld{false}, g_releasePcm{false}, g_lateEntered{false}, g_go{false}, g_lateReturned{false};

void BRIVANE_CALL HoldPcm(uint32_t, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code != BRIVANE_PCM_DATA || g_pcmHeld.exchange(true)) return;
    while (!g_releasePcm) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void BRIVANE_CALL LockedExportOnGo(uint32_t handle, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code != BRIVANE_EVENT_COMMAND_FAILED || g_lateEntered.exchange(true)) return;
    while (!g_go) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    AudioOutSetVolume(handle, 50);
    g_lateReturned = true;
}

bool WaitFor(const std::atomic<bool> &flag) {
    for (int waited = 0; !flag && waited < 10000; waited += 5) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return flag;
}

TEST(Lifecycle, ShutdownTakesTheLibraryLockBeforeCallbacksMayPassIt) {
    const std::string path = ::testing::TempDir() + "lifecycle-silence.wav";
    const std::vector<char> wave = SilentWave(1);
    std::ofstream(path, std::ios::binary).write(wave.data(), std::streamsize(wave.size()));
    ASSERT_EQ(1u, InitBrivane());
    ASSERT_NE(0u, AudioOutFileOpen(1, Path("missing.wma").c_str(), &LockedExportOnGo, 0));
    ASSERT_TRUE(WaitFor(g_lateEntered));
    std::atomic<bool> decoded{false}, shutDown{false};
    std::thread decode([&] {
        GetAudioPCM(1, path.c_str(), 0, 0, &HoldPcm, 0, nullptr);
        decoded = true;
    });
    ASSERT_TRUE(WaitFor(g_pcmHeld));
    std::thread shutdown([&] {
        UnInitBrivane();
        shutDown = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    g_go = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(g_lateReturned) << "a callback's locked export ran while a decode held the library lock";
    g_releasePcm = true;
    EXPECT_TRUE(WaitFor(decoded));
    EXPECT_TRUE(WaitFor(shutDown));
    decode.join();
    shutdown.join();
    GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr);
}

TEST(Lifecycle, AtMostAHundredInstancesAreOpenAtOnce) {
    ASSERT_EQ(1u, InitBrivane());
    HostLog log;
    std::vector<uint32_t> handles;
    for (int i = 0; i < 100; ++i) handles.push_back(AudioOutFileOpen(1, Path("x").c_str(), &HostLog::OnPlay, log.User()));
    for (uint32_t handle : handles) ASSERT_NE(0u, handle);
    EXPECT_EQ(0u, AudioOutFileOpen(1, Path("x").c_str(), &HostLog::OnPlay, log.User())) << "the 101st open";
    AudioOutClose(handles[50]);
    uint32_t again = 0;
    for (int tries = 0; again == 0 && tries < 500; ++tries) {
        again = AudioOutFileOpen(1, Path("x").c_str(), &HostLog::OnPlay, log.User());
        if (!again) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_NE(0u, again) << "closing makes room once the service has run the close";
    UnInitBrivane();
}

}  // namespace
