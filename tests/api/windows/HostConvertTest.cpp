// A WMA file our Linux conversion wrote, opened by the platform's own Windows Media reader (Wine's, in
// our runs). Converting to WMA here would reach Wine's unimplemented WMCreateWriterFileSink, which
// ends the process.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HostLibrary.h"

namespace {

const BrivaneExports &B() { return Brivane(); }

// The ffmpeg program's sine level, at which the media script makes the converted tone.
const double kToneLevel = 0.125;
const double kPi = 3.14159265358979323846;

struct PcmLog {
    static void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
        PcmLog *log = reinterpret_cast<PcmLog *>(user);
        if (code == BRIVANE_PCM_FORMAT && length == sizeof(log->format)) std::memcpy(&log->format, data, length);
        const int16_t *pcm = static_cast<const int16_t *>(data);
        if (code == BRIVANE_PCM_DATA) log->samples.insert(log->samples.end(), pcm, pcm + length / 2);
        if (code == BRIVANE_PCM_END) log->ended = true;
    }
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

    BrivaneWaveFormat format = {};
    std::vector<int16_t> samples;
    bool ended = false;
};

TEST(HostConvert, TheReaderOpensAWmaFileOurLinuxConversionWrote) {
    const char *dir = std::getenv("BRIVANE_TEST_MEDIA");
    if (!dir) GTEST_SKIP() << "BRIVANE_TEST_MEDIA names no media directory";
    const std::string path = std::string(dir) + "\\converted.wma";
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no converted.wma: the media script makes it only when the Linux CLI is built";
    PcmLog log;
    ASSERT_EQ(1u, B().GetAudioPCM(BRIVANE_KIND_AUDIO, path.c_str(), 0, 0, &PcmLog::OnPcm,
                                  reinterpret_cast<BRIVANE_USER>(&log), nullptr));
    B().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr);
    EXPECT_TRUE(log.ended);
    EXPECT_EQ(log.format.wBitsPerSample, 16);
    ASSERT_GT(log.format.nSamplesPerSec * log.format.nChannels, 0u);
    // The 3 s tone, give or take a codec frame and the decoder's delay.
    EXPECT_NEAR(double(log.samples.size()) / log.format.nChannels / log.format.nSamplesPerSec, 3.0, 0.3);
    EXPECT_NEAR(log.Amplitude(1000), kToneLevel, kToneLevel * 0.19);
    EXPECT_LT(log.Amplitude(1500), kToneLevel * 0.1);
}

}  // namespace
