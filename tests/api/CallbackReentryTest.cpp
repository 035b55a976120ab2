// Every kind of host callback calling back into the library: each call returns, and the next InitBrivane works.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "PlaybackMedia.h"

namespace {

enum Kind { kPlayback, kCapture, kPcmControl, kPcmData };
const char *const kKindNames[] = {"playback callback", "capture callback", "PCM callback, format and end",
                                  "PCM callback, data"};

// The export one callback calls, once, with the handle of the instance the test opened.
std::function<void(uint32_t)> g_call;
std::atomic<uint32_t> g_instance{0};
std::atomic<bool> g_fired{false};
std::atomic<bool> g_returned{false};

void Fire() {
    if (g_fired.exchange(true)) return;
    g_call(g_instance);
    g_returned = true;
}

void BRIVANE_CALL OnPlay(uint32_t, BRIVANE_USER, uint32_t, const void *, uint32_t) { Fire(); }
void BRIVANE_CALL OnCapture(uint32_t, BRIVANE_USER, uint32_t, uint32_t, uint32_t, const void *, uint32_t) { Fire(); }
void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER kind, uint32_t code, const void *, uint32_t) {
    if ((code == BRIVANE_PCM_DATA) == (kind == kPcmData)) Fire();
}

const BrivaneWaveFormat kFormat = {1, 1, 16000, 32000, 2, 16, 0};

bool Initialised() { return Brivane().AudioOutPlay(0x7777, 0) == 1; }

// Opens what raises the callback of the given kind and returns once the callback has called the export.
void Provoke(Kind kind, const std::string &wave, const HostText &profile) {
    if (kind == kPlayback) {
        g_instance = Brivane().AudioOutFileOpen(1, Path("missing.wma").c_str(), &OnPlay, 0);
    } else if (kind == kCapture) {
        g_instance = Brivane().AudioInOpen(1, &kFormat, profile.c_str(), &OnCapture, 0);
        Brivane().AudioInStart(g_instance, 0);
    } else {
        // A playback instance without a callback, for the exports that take a handle.
        g_instance = Brivane().AudioOutFileOpen(1, Path("missing.wma").c_str(), nullptr, 0);
        std::atomic<bool> decoded{false};
        HostThread decode([&] {
            testing::internal::CaptureStdout();
            Brivane().GetAudioPCM(1, wave.c_str(), 0, 0, &OnPcm, kind, nullptr);
            testing::internal::GetCapturedStdout();
            decoded = true;
        });
        // A decode that never returns would hang the suite instead.
        if (!WaitUntil([&] { return decoded.load(); })) std::abort();
        decode.join();
    }
    ASSERT_NE(0u, g_instance.load());
    ASSERT_TRUE(WaitUntil([] { return g_returned.load(); })) << "the export called from the callback did not return";
}

TEST(CallbackReentry, EveryExportFromEveryCallbackReturnsAndTheLibraryLivesOn) {
    const std::string wave = WriteTemp("reentry.wav", NoiseWave(1, 8000, 16, 1000).image);
    const HostText &waveWide = Path(wave.c_str());
    const std::string converted = ::testing::TempDir() + "reentry-out.wav";
    const HostText profile = SpeechProfile();
    struct Export {
        const char *name;
        std::function<void(uint32_t)> call;
    };
    const Export exports[] = {
        {"UnInitBrivane", [](uint32_t) { Brivane().UnInitBrivane(); }},
        {"InitBrivane", [](uint32_t) { Brivane().InitBrivane(); }},
        {"AudioOutClose", [](uint32_t h) { Brivane().AudioOutClose(h); }},
        {"AudioOutFileOpen", [](uint32_t) { Brivane().AudioOutFileOpen(1, Path("missing.wma").c_str(), &OnPlay, 0); }},
        {"AudioInOpen", [](uint32_t) { Brivane().AudioInOpen(1, &kFormat, nullptr, &OnCapture, 0); }},
        {"AudioOutPlay", [](uint32_t h) { Brivane().AudioOutPlay(h, 0); }},
        {"AudioOutGetWholeDuration", [](uint32_t h) { Brivane().AudioOutGetWholeDuration(h); }},
        {"GetAudioPCM", [&](uint32_t) { Brivane().GetAudioPCM(1, wave.c_str(), 0, 0, nullptr, 0, nullptr); }},
        {"Convert", [&](uint32_t) { Brivane().Convert(2, converted.c_str(), 1, wave.c_str(), nullptr); }},
        {"GetWmaFileDuration", [&](uint32_t) { Brivane().GetWmaFileDuration(waveWide.c_str()); }},
        {"AudioWavGetData",
         [&](uint32_t) {
             Brivane().AudioWavFreeData(Brivane().AudioWavGetData(waveWide.c_str(), nullptr, nullptr, 0));
         }},
    };
    uint32_t lastHandle = 0;
    for (Kind kind : {kPlayback, kCapture, kPcmControl, kPcmData}) {
        // Wine's Windows Media writer and profile manager are stubs: no capture opens, so none calls back.
        if (kind == kCapture && RunningUnderWine()) continue;
        for (const Export &e : exports) {
            SCOPED_TRACE(std::string(kKindNames[kind]) + " calls " + e.name);
            g_call = e.call;
            g_fired = false;
            g_returned = false;
            // Provoked after the restart that ended the previous row, the callback shows the library works again.
            ASSERT_EQ(1u, Brivane().InitBrivane());
            Provoke(kind, wave, profile);
            EXPECT_GT(g_instance, lastHandle) << "handles go on growing across restarts";
            lastHandle = g_instance;
            // The service thread ignores a last UnInitBrivane, as it cannot end itself; a decode defers it to its end.
            if (std::string(e.name) == "UnInitBrivane") {
                EXPECT_EQ(kind < kPcmControl, Initialised());
            }
            if (Initialised()) {
                Brivane().AudioOutClose(g_instance);
                Brivane().AudioInClose(g_instance);
            }
            while (Initialised()) Brivane().UnInitBrivane();
        }
    }
    Brivane().GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr);
}

}  // namespace
