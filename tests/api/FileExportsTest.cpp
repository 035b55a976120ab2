// The file exports as a host meets them: Convert across the lifecycle, GetAudioPCM's window, cancel flag and decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "PcmLog.h"
#include "PlaybackHost.h"

namespace {

const double kToneLevel = 0.125;

// Three seconds of a 1 kHz tone, 16 kHz 16-bit mono, at kToneLevel of full scale.
std::string WriteTone() {
    std::vector<char> pcm(16000 * 2 * 3);
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        const int16_t sample = int16_t(std::lround(kToneLevel * 32767 * std::sin(2 * kPi * 1000 * double(i) / 16000)));
        std::memcpy(&pcm[2 * i], &sample, 2);
    }
    return WriteTemp("convert-tone.wav", WaveImage(Pcm(1, 16000, 16), pcm));
}

const std::vector<uint32_t> kWhole = {BRIVANE_PCM_FORMAT, BRIVANE_PCM_DATA, BRIVANE_PCM_END};

class FileExports : public ::testing::Test {
protected:
    // No decoder is left behind for the suites that follow in this process.
    void TearDown() override { Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr); }

    static uint32_t Decode(const std::string &path, PcmLog &log, uint32_t startMs = 0, uint32_t endMs = 0,
                           volatile uint32_t *cancel = nullptr, uint32_t kind = BRIVANE_KIND_AUDIO) {
        // A flag set before the call silences the open's progress line too.
        const bool cancelled = cancel && *cancel;
        testing::internal::CaptureStdout();
        const uint32_t result =
            Brivane().GetAudioPCM(kind, path.c_str(), startMs, endMs, &PcmLog::OnPcm, log.User(), cancel);
        const bool opened = testing::internal::GetCapturedStdout() == "Reader Callback: File is opened.\n";
        EXPECT_EQ(result && !cancelled, opened);
        return result;
    }
};

// A window stops a long decode there; a flag set before the call delivers nothing, one set during ends it as finished.
TEST_F(FileExports, WindowAndCancelFlagEndTheDecodeEarly) {
    const Medium noise = NoiseWave(2, 44100, 16, 60000);
    const std::string wav = WriteTemp("pcm-minute.wav", noise.image);
    for (const std::string &path : {wav, MediumNamed("minutes.wma").path}) {
        SCOPED_TRACE(path);
        PcmLog whole;
        // Processor time, which other processes cannot skew; the window's best of three, as threads only add to it.
        std::clock_t start = std::clock();
        ASSERT_EQ(1u, Decode(path, whole));
        const std::clock_t wholeTime = std::clock() - start;
        const size_t second = whole.format.nAvgBytesPerSec;
        for (HostThreadId thread : whole.controlThreads) EXPECT_EQ(CurrentHostThread(), thread);
        // Wine's WMA decoder gives a window, or a second decode, a few samples apart.
        const bool exact = path == wav || kFfmpegDecodes;
        if (path == wav) {
            EXPECT_TRUE(std::string(noise.pcm.begin(), noise.pcm.end()) == whole.pcm);
        }
        std::clock_t windowTime = wholeTime;
        for (int run = 0; run < 3; ++run) {
            PcmLog window;
            start = std::clock();
            ASSERT_EQ(1u, Decode(path, window, 1000, 2000));
            windowTime = std::min(windowTime, std::clock() - start);
            EXPECT_EQ(kWhole, window.codes);
            EXPECT_TRUE(!exact || whole.pcm.compare(second, second, window.pcm) == 0);
        }
        // A whole WAV decodes in a few times the fixed cost of a decode, so half is the margin that holds.
        EXPECT_LT(windowTime * 2, wholeTime) << "the decode runs on past the window";

        volatile uint32_t early = 1;
        PcmLog before;
        EXPECT_EQ(1u, Decode(path, before, 0, 0, &early));
        EXPECT_EQ((std::vector<uint32_t>{BRIVANE_PCM_FORMAT, BRIVANE_PCM_END}), before.codes);

        volatile uint32_t cancel = 0;
        PcmLog during;
        during.onData = [&](const PcmLog &log) {
            if (log.pcm.size() >= 5 * second) cancel = 1;
        };
        EXPECT_EQ(1u, Decode(path, during, 0, 0, &cancel));
        EXPECT_EQ(kWhole, during.codes);
        EXPECT_GE(during.pcm.size(), 5 * second);
        EXPECT_LT(during.pcm.size(), 6 * second) << "PCM kept coming after the cancel";
        EXPECT_TRUE(!exact || whole.pcm.compare(0, during.pcm.size(), during.pcm) == 0);
    }
}

// Convert works before InitBrivane, while running and after shutdown; refused GetAudioPCM calls deliver only the end.
TEST_F(FileExports, ConvertKeepsTheToneAndOneDecoderIsKeptUntilToldOrShutDown) {
    const Medium &wav = MediumNamed("tone.wav");
    const std::string tone = WriteTone();
    std::string wma = testing::TempDir() + "convert-tone.wma";
    // Wine's Windows Media writer is a stub whose file sink ends the process.
    auto encode = [&] {
        return RunningUnderWine() || Brivane().Convert(BRIVANE_KIND_WMA, wma.c_str(), BRIVANE_KIND_WAV, tone.c_str(),
                                                       SpeechProfile().c_str()) == 1;
    };
    PcmLog log;
    EXPECT_EQ(1u, Decode(wav.path, log));
    EXPECT_EQ(1u, Brivane().GetAudioPCM(2, nullptr, 0, 0, nullptr, 0, nullptr))
        << "a null path destroys it whatever the kind";
    EXPECT_EQ(0u, Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr));
    EXPECT_EQ(1u, Decode(wav.path, log)) << "a fresh decoder";
    EXPECT_TRUE(encode()) << "before the library starts";
    ASSERT_EQ(1u, Brivane().InitBrivane());
    EXPECT_TRUE(encode()) << "while it runs";
    Brivane().UnInitBrivane();
    EXPECT_EQ(0u, Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr))
        << "the shutdown destroyed it";
    EXPECT_TRUE(encode()) << "after the shutdown disposed of the encoder";
    testing::internal::CaptureStdout();
    EXPECT_EQ(1u, Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, wav.path.c_str(), 0, 0, nullptr, 0, nullptr))
        << "no callback";
    testing::internal::GetCapturedStdout();
    const struct {
        uint32_t kind;
        std::string path;
        std::vector<uint32_t> codes;
    } refusals[] = {
        {2, wav.path, {}},
        {BRIVANE_KIND_AUDIO, "", {}},
        {BRIVANE_KIND_AUDIO, wav.path + ".missing", {BRIVANE_PCM_END}},
        {BRIVANE_KIND_AUDIO, MediumNamed("garbage.bin").path, {BRIVANE_PCM_END}},
    };
    for (const auto &refusal : refusals) {
        PcmLog refused;
        EXPECT_EQ(0u, Decode(refusal.path, refused, 0, 0, nullptr, refusal.kind))
            << refusal.kind << " " << refusal.path;
        EXPECT_EQ(refusal.codes, refused.codes) << refusal.kind << " " << refusal.path;
    }
    // There the WMA our Linux conversion wrote (made beside the reader's media) is read back instead.
    if (RunningUnderWine()) {
        const char *dir = std::getenv("BRIVANE_TEST_MEDIA");
        wma = dir ? std::string(dir) + "\\converted.wma" : "";
        if (!std::ifstream(wma).good())
            GTEST_SKIP() << "no converted.wma: the reader's media script makes it only when the Linux CLI is built";
    }
    const std::string back = testing::TempDir() + "convert-back.wav";
    ASSERT_EQ(Brivane().Convert(BRIVANE_KIND_WAV, back.c_str(), BRIVANE_KIND_WMA, wma.c_str(), nullptr), 1u);
    PcmLog viaWav, viaPcm;
    uint32_t count = 0;
    int16_t *samples = Brivane().AudioWavGetData(Path(back.c_str()).c_str(), &count, &viaWav.format, 0);
    ASSERT_NE(samples, nullptr);
    viaWav.pcm.assign(reinterpret_cast<const char *>(samples), 2 * size_t(count));
    Brivane().AudioWavFreeData(samples);
    ASSERT_EQ(Decode(wma, viaPcm), 1u);
    for (const PcmLog *decoded : {&viaWav, &viaPcm}) {
        EXPECT_EQ(decoded->format.wBitsPerSample, 16);
        // One WMA frame at 16 kHz; another system's decoder adds its delay.
        EXPECT_NEAR(decoded->Seconds(), 3.0, kFfmpegDecodes ? 0.032 : 0.3);
        EXPECT_NEAR(decoded->Amplitude(1000), kToneLevel, kToneLevel * 0.19);
        EXPECT_LT(decoded->Amplitude(1500), kToneLevel * 0.1);
    }
}

}  // namespace
