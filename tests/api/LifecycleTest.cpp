// Counted start and stop, argument checks, failure values, failed opens as event 6, and a shutdown meeting a callback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "PlaybackHost.h"

namespace {

const BrivaneExports &B() { return Brivane(); }

using std::this_thread::sleep_for;

// Opens the library must refuse give 0; the accepted bad ones fail as event 6.
void ExpectOpensRefusedOrFailing(PlaybackHost &host) {
    static const unsigned char image[64] = {'R', 'I', 'F', 'F'};
    const BrivaneWaveFormat format = {1, 0, 0, 0, 0, 16, 0};  // no channels: never a capture format
    const HostText &profile = Path("<profile/>");
    auto cb = &PlaybackHost::OnEvent;
    const BRIVANE_USER user = host.User();
    EXPECT_EQ(B().AudioOutOpen(1, nullptr, 64, cb, user), 0u);
    EXPECT_EQ(B().AudioOutOpen(1, image, 0, cb, user), 0u);
    EXPECT_EQ(B().AudioOutOpen(1, image, -64, cb, user), 0u);
    EXPECT_EQ(B().AudioOutFileOpen(1, nullptr, cb, user), 0u);
    EXPECT_EQ(B().AudioOutFileOpen(1, Path("").c_str(), cb, user), 0u);
    EXPECT_EQ(B().AudioInOpen(2, &format, profile.c_str(), nullptr, user), 0u);
    EXPECT_EQ(B().AudioInOpen(1, nullptr, profile.c_str(), nullptr, user), 0u);
    std::vector<uint32_t> opens = {B().AudioOutFileOpen(1, Path("missing.wma").c_str(), cb, user),
                                   B().AudioOutFileOpen(2, Path("missing.wav").c_str(), cb, user)};
#ifdef _WIN32
    // Reading it faults: the read fails, and the service thread goes on (a guard only Windows has).
    opens.push_back(B().AudioOutOpen(1, reinterpret_cast<const void *>(16), sizeof image, cb, user));
    opens.push_back(B().AudioOutOpen(2, reinterpret_cast<const void *>(16), sizeof image, cb, user));
#endif
    for (uint32_t handle : opens) {
        ASSERT_NE(handle, 0u);
        B().AudioOutPlay(handle, 0);
        EXPECT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_COMMAND_FAILED, milliseconds(5000))) << handle;
        EXPECT_EQ(B().AudioOutGetWholeDuration(handle), 0u);
        for (const Delivery &event : host.Of(handle))
            EXPECT_TRUE(event.code != BRIVANE_EVENT_COMMAND_FAILED || event.payload.empty());
        B().AudioOutClose(handle);
    }
    EXPECT_EQ(B().AudioOutGetWholeDuration(0x7777), 0u);
}

// Steps move the init count by +1, -1 or 0; while initialised, bad opens are refused or fail as event 6.
TEST(Lifecycle, CommandExportsAnswerOnlyWhileInitialisedAndFileExportsGiveTheirFailureValues) {
    auto answers = [](uint32_t h) {
        return std::vector<uint32_t>{B().AudioOutPlay(h, 0),       B().AudioOutSeek(h, 1000),
                                     B().AudioOutSetVolume(h, 50), B().AudioOutSetDuration(h, 0, BRIVANE_TO_END),
                                     B().AudioOutSetSpeed(h, 150), B().AudioOutSetEventMask(h, 0xFFFF),
                                     B().AudioInStart(h, 0),       B().AudioInStop(h)};
    };
    const HostText &missing = Path("brivane-missing/none.wav");
    const std::string wav = MediumNamed("tone.wav").path, wma = MediumNamed("tone.wma").path;
    const std::string out = testing::TempDir() + "refused.out";
    const HostText profile = SpeechProfile();
    ASSERT_FALSE(profile.empty()) << BRIVANE_SPEECH_PROFILE;
    uint32_t samples = 0;
    BrivaneWaveFormat format{};
    PlaybackHost host;
    const struct {
        int change;
        uint32_t expected;
    } steps[] = {{0, 0}, {1, 1}, {1, 1}, {-1, 1}, {-1, 0}, {-1, 0}, {1, 1}, {-1, 0}};
    for (size_t step = 0; step < std::size(steps); ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        if (steps[step].change > 0) {
            EXPECT_EQ(B().InitBrivane(), 1u);
        } else if (steps[step].change < 0) {
            B().UnInitBrivane();
        }
        for (uint32_t handle : {0u, 0xBEEFu, 0x1BEEFu})
            EXPECT_EQ(answers(handle), std::vector<uint32_t>(8, steps[step].expected)) << handle;
        if (step > 1) continue;
        if (steps[step].expected) ExpectOpensRefusedOrFailing(host);
        const uint32_t opened = host.OpenMissing();
        EXPECT_EQ(steps[step].expected, opened ? 1u : 0u);
        B().AudioOutClose(opened);
        EXPECT_EQ(B().AudioInSetVolume(1, 50), 0u);
        EXPECT_EQ(B().GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr), 0u) << "without a decoder";
        EXPECT_EQ(B().GetWmaFileDuration(missing.c_str()), 0u);
        EXPECT_EQ(B().AudioWavGetData(missing.c_str(), &samples, &format, 0), nullptr);
        EXPECT_EQ(B().AudioWavFreeData(nullptr), 1u);
        // Convert takes WAV to WMA (2 to 1) and WMA to WAV (1 to 2), and nothing else.
        for (const auto &pair : {std::make_pair(1u, 1u), {2u, 2u}, {0u, 2u}, {1u, 0u}, {3u, 1u}, {2u, 3u}}) {
            std::remove(out.c_str());
            EXPECT_EQ(B().Convert(pair.first, out.c_str(), pair.second, (pair.second == 1 ? wma : wav).c_str(),
                                  profile.c_str()),
                      0u)
                << pair.first << " from " << pair.second;
            EXPECT_FALSE(std::ifstream(out).good());
        }
        EXPECT_EQ(B().Convert(BRIVANE_KIND_WAV, nullptr, BRIVANE_KIND_WMA, wma.c_str(), nullptr), 0u);
        // Wine's Windows Media writer is a stub whose file sink ends the process.
        if (RunningUnderWine()) continue;
        EXPECT_EQ(B().Convert(BRIVANE_KIND_WMA, out.c_str(), BRIVANE_KIND_WAV, wav.c_str(), nullptr), 0u);
        EXPECT_FALSE(std::ifstream(out).good());
        EXPECT_EQ(B().Convert(BRIVANE_KIND_WMA, nullptr, BRIVANE_KIND_WAV, wav.c_str(), profile.c_str()), 0u);
    }
}

// A callback's locked export waits while a decode holds the library lock, then passes it while the shutdown holds it.
std::atomic<bool> g_pcmHeld{false}, g_releasePcm{false}, g_lateEntered{false}, g_go{false}, g_lateReturned{false};

void BRIVANE_CALL HoldPcm(uint32_t, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code == BRIVANE_PCM_DATA && !g_pcmHeld.exchange(true)) WaitUntil([] { return g_releasePcm.load(); }, 60000);
}

void BRIVANE_CALL LockedExportOnGo(uint32_t handle, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code != BRIVANE_EVENT_COMMAND_FAILED || g_lateEntered.exchange(true)) return;
    WaitUntil([] { return g_go.load(); }, 60000);
    B().AudioOutSetVolume(handle, 50);
    g_lateReturned = true;
}

TEST(Lifecycle, ShutdownTakesTheLibraryLockBeforeCallbacksMayPassIt) {
    const std::string path = WriteTemp("lifecycle-noise.wav", NoiseWave(1, 8000, 16, 1000).image);
    ASSERT_EQ(1u, B().InitBrivane());
    ASSERT_NE(0u, B().AudioOutFileOpen(1, Path("missing.wma").c_str(), &LockedExportOnGo, 0));
    ASSERT_TRUE(WaitUntil([] { return g_lateEntered.load(); }));
    std::atomic<bool> decoded{false}, shutDown{false};
    HostThread decode([&] {
        B().GetAudioPCM(1, path.c_str(), 0, 0, &HoldPcm, 0, nullptr);
        decoded = true;
    });
    ASSERT_TRUE(WaitUntil([] { return g_pcmHeld.load(); }));
    HostThread shutdown([&] {
        B().UnInitBrivane();
        shutDown = true;
    });
    sleep_for(milliseconds(100));
    g_go = true;
    sleep_for(milliseconds(300));
    EXPECT_FALSE(g_lateReturned) << "a callback's locked export ran while a decode held the library lock";
    g_releasePcm = true;
    EXPECT_TRUE(WaitUntil([&] { return decoded && shutDown; }));
    decode.join();
    shutdown.join();
    B().GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr);
}

}  // namespace
