// The exports as a host meets them: reference-counted start and stop, argument checks, the
// failure values of everything that is not there yet, and the instance limit.
#include <gtest/gtest.h>

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
