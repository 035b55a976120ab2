// Convert as a host meets it: WAV to WMA and back with the tone intact, and the encoder across the
// library's lifecycle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "PlaybackHost.h"

namespace {

const double kToneLevel = 0.125;
const double kPi = 3.14159265358979323846;

// Three seconds of a 1 kHz tone, 16 kHz 16-bit mono, at kToneLevel of full scale.
std::string WriteTone() {
    std::vector<char> pcm(16000 * 2 * 3);
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        const int16_t sample = int16_t(std::lround(kToneLevel * 32767 * std::sin(2 * kPi * 1000 * double(i) / 16000)));
        std::memcpy(&pcm[2 * i], &sample, 2);
    }
    return WriteTemp("convert-tone.wav", WaveImage(Pcm(1, 16000, 16), pcm));
}

struct Decoded {
    BrivaneWaveFormat format = {};
    std::vector<int16_t> samples;

    // The first channel's amplitude at hz (Goertzel), relative to full scale, clear of both ends.
    double Amplitude(double hz) const {
        const size_t channels = format.nChannels, margin = format.nSamplesPerSec / 4;
        const size_t frames = channels ? samples.size() / channels : 0;
        if (frames <= 2 * margin) return 0;
        const double w = 2 * kPi * hz / format.nSamplesPerSec;
        double s1 = 0, s2 = 0;
        for (size_t i = margin; i < frames - margin; ++i) {
            const double s0 = samples[i * channels] / 32768.0 + 2 * std::cos(w) * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return 2 * std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2) / double(frames - 2 * margin);
    }
    double Seconds() const {
        return format.nChannels ? double(samples.size()) / format.nChannels / format.nSamplesPerSec : 0;
    }
};

void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
    Decoded *decoded = reinterpret_cast<Decoded *>(user);
    const int16_t *pcm = static_cast<const int16_t *>(data);
    if (code == BRIVANE_PCM_FORMAT && length == sizeof(decoded->format)) std::memcpy(&decoded->format, data, length);
    if (code == BRIVANE_PCM_DATA) decoded->samples.insert(decoded->samples.end(), pcm, pcm + length / 2);
}

// Wine's Windows Media writer is a stub whose file sink ends the process: there the WMA our Linux
// conversion wrote (made beside the reader's media) is read back instead.
TEST(Convert, WavToWmaAndBackKeepsTheTonesLengthFrequencyAndLevel) {
    std::string wma = testing::TempDir() + "convert-tone.wma";
    if (RunningUnderWine()) {
        const char *dir = std::getenv("BRIVANE_TEST_MEDIA");
        wma = dir ? std::string(dir) + "\\converted.wma" : "";
        if (!std::ifstream(wma).good())
            GTEST_SKIP() << "no converted.wma: the reader's media script makes it only when the Linux CLI is built";
    } else {
        // Before the library starts, while it runs and after it shut down (and disposed of the encoder).
        const std::string tone = WriteTone();
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            ASSERT_EQ(Brivane().Convert(BRIVANE_KIND_WMA, wma.c_str(), BRIVANE_KIND_WAV, tone.c_str(),
                                        SpeechProfile().c_str()),
                      1u);
            if (round == 0) {
                ASSERT_EQ(Brivane().InitBrivane(), 1u);
            } else if (round == 1) {
                Brivane().UnInitBrivane();
            }
        }
    }
    const std::string back = testing::TempDir() + "convert-back.wav";
    ASSERT_EQ(Brivane().Convert(BRIVANE_KIND_WAV, back.c_str(), BRIVANE_KIND_WMA, wma.c_str(), nullptr), 1u);
    Decoded viaWav, viaPcm;
    uint32_t count = 0;
    int16_t *samples = Brivane().AudioWavGetData(Wide(back).c_str(), &count, &viaWav.format, 0);
    ASSERT_NE(samples, nullptr);
    viaWav.samples.assign(samples, samples + count);
    Brivane().AudioWavFreeData(samples);
    testing::internal::CaptureStdout();
    ASSERT_EQ(Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, wma.c_str(), 0, 0, &OnPcm,
                                    reinterpret_cast<BRIVANE_USER>(&viaPcm), nullptr),
              1u);
    testing::internal::GetCapturedStdout();
    Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr);
    if (kFfmpegDecodes) {
        EXPECT_EQ(viaWav.format.nSamplesPerSec, 16000u);
    }
    for (const Decoded *decoded : {&viaWav, &viaPcm}) {
        EXPECT_EQ(decoded->format.wBitsPerSample, 16);
        // One WMA frame at 16 kHz; another system's decoder adds its delay.
        EXPECT_NEAR(decoded->Seconds(), 3.0, kFfmpegDecodes ? 0.032 : 0.3);
        EXPECT_NEAR(decoded->Amplitude(1000), kToneLevel, kToneLevel * 0.19);
        EXPECT_LT(decoded->Amplitude(1500), kToneLevel * 0.1);
    }
}

}  // namespace
