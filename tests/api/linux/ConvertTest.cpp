// Convert through the exports: which kind pairs do anything, WAV to WMA and back to WAV and to PCM
// with the tone intact, and the encoder across the library's lifecycle.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "HostHarness.h"
#include "brivane.h"

namespace {

// The level of the ffmpeg program's sine source, relative to full scale.
const double kToneLevel = 0.125;

// The tone's amplitude at hz (Goertzel) over the samples clear of both ends.
double Amplitude(const int16_t *samples, size_t count, double hz) {
    if (count <= 8000) return 0;
    const double w = 2 * M_PI * hz / 16000;
    double s1 = 0, s2 = 0;
    for (size_t i = 4000; i < count - 4000; ++i) {
        const double s0 = samples[i] / 32768.0 + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2 * std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2) / double(count - 8000);
}

void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
    std::vector<int16_t> *samples = reinterpret_cast<std::vector<int16_t> *>(user);
    const int16_t *pcm = static_cast<const int16_t *>(data);
    if (code == BRIVANE_PCM_DATA) samples->insert(samples->end(), pcm, pcm + length / 2);
}

class ConvertTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        char name[] = "/tmp/brivane-convert-api-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        m_dir = name;
        m_profile = SpeechProfile();
        ASSERT_FALSE(m_profile.empty());
        m_wav = Path("tone.wav");
        ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=1000:sample_rate=16000:duration=3 -c:a pcm_s16le '" +
                               m_wav + "'").c_str()), 0);
        ASSERT_EQ(InitBrivane(), 1u);
    }
    void TearDown() override {
        UnInitBrivane();
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    std::string Path(const char *name) const { return m_dir + "/" + name; }
    uint32_t ToWma(const std::string &wma) { return Convert(BRIVANE_KIND_WMA, wma.c_str(), BRIVANE_KIND_WAV, m_wav.c_str(), m_profile.c_str()); }

    std::string m_dir, m_wav;
    std::u16string m_profile;
};

TEST_F(ConvertTest, WavToWmaAndBackKeepsTheTonesLengthFrequencyAndLevel) {
    const std::string wma = Path("tone.wma"), back = Path("back.wav");
    ASSERT_EQ(ToWma(wma), 1u);
    ASSERT_EQ(Convert(BRIVANE_KIND_WAV, back.c_str(), BRIVANE_KIND_WMA, wma.c_str(), nullptr), 1u);
    uint32_t count = 0;
    BrivaneWaveFormat format = {};
    int16_t *samples = AudioWavGetData(std::u16string(back.begin(), back.end()).c_str(), &count, &format, 0);
    ASSERT_NE(samples, nullptr);
    std::vector<int16_t> viaPcm;
    ASSERT_EQ(GetAudioPCM(BRIVANE_KIND_AUDIO, wma.c_str(), 0, 0, &OnPcm, reinterpret_cast<BRIVANE_USER>(&viaPcm), nullptr), 1u);
    const std::vector<int16_t> decodings[] = {std::vector<int16_t>(samples, samples + count), viaPcm};
    AudioWavFreeData(samples);
    EXPECT_EQ(format.nSamplesPerSec, 16000u);
    for (const std::vector<int16_t> &decoded : decodings) {
        EXPECT_NEAR(double(decoded.size()), 48000.0, 512.0);  // one WMA frame at 16 kHz
        EXPECT_NEAR(Amplitude(decoded.data(), decoded.size(), 1000), kToneLevel, kToneLevel * 0.19);
        EXPECT_LT(Amplitude(decoded.data(), decoded.size(), 1500), kToneLevel * 0.1);
    }
}

TEST_F(ConvertTest, ConvertsBeforeInitialisationAndAcrossShutdowns) {
    UnInitBrivane();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(ToWma(Path("before.wma")), 1u);
        ASSERT_EQ(InitBrivane(), 1u);
        EXPECT_EQ(ToWma(Path("during.wma")), 1u);
        UnInitBrivane();
    }
    ASSERT_EQ(InitBrivane(), 1u);
}

// Output that meets the file-size limit or a full disk (a link to the device that is always full)
// fails the conversion in either direction and leaves no file behind that could pass for a finished
// one; with the limit lifted the same conversion works.
TEST_F(ConvertTest, AFullDiskOrAFileSizeLimitFailsTheConversionAndLeavesNoOutput) {
    const std::string wma = Path("tone.wma");
    ASSERT_EQ(ToWma(wma), 1u);
    const rlim_t kFull = 0;
    struct Case {
        uint32_t target;
        const char *name;
        rlim_t limit;
    } cases[] = {{BRIVANE_KIND_WAV, "cut.wav", 16384}, {BRIVANE_KIND_WAV, "cut-header.wav", 20},
                 {BRIVANE_KIND_WAV, "full.wav", kFull},  {BRIVANE_KIND_WMA, "cut.wma", 4096},
                 {BRIVANE_KIND_WMA, "cut-header.wma", 100}, {BRIVANE_KIND_WMA, "full.wma", kFull}};
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = Path(c.name);
        const std::string &source = c.target == BRIVANE_KIND_WAV ? wma : m_wav;
        rlimit limited = saved;
        if (c.limit == kFull)
            ASSERT_EQ(symlink("/dev/full", out.c_str()), 0);
        else
            limited.rlim_cur = c.limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const uint32_t result = Convert(c.target, out.c_str(), 3 - c.target, source.c_str(), m_profile.c_str());
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(result, 0u);
        struct stat info;
        EXPECT_NE(stat(out.c_str(), &info), 0) << info.st_size << " bytes left";
        EXPECT_EQ(Convert(c.target, out.c_str(), 3 - c.target, source.c_str(), m_profile.c_str()), 1u);
    }
    signal(SIGXFSZ, previous);
}

}  // namespace
