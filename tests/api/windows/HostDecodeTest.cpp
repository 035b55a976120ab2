// GetAudioPCM through the DLL on the platform's own Windows Media reader (Wine's, in our runs): the
// media come from BRIVANE_TEST_MEDIA with what the ffmpeg program decodes from each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HostLibrary.h"

namespace {

const BrivaneExports &B() { return Brivane(); }

struct PcmLog {
    static void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
        PcmLog *log = reinterpret_cast<PcmLog *>(user);
        if (log->codes.empty() || log->codes.back() != code || code != BRIVANE_PCM_DATA) log->codes.push_back(code);
        const uint8_t *bytes = static_cast<const uint8_t *>(data);
        if (code == BRIVANE_PCM_DATA) log->pcm.insert(log->pcm.end(), bytes, bytes + length);
        if (code == BRIVANE_PCM_FORMAT && length == sizeof(log->format)) std::memcpy(&log->format, data, length);
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    std::vector<uint32_t> codes;
    std::vector<uint8_t> pcm;
    BrivaneWaveFormat format = {};
};

std::string MediaPath(const char *name) {
    const char *dir = std::getenv("BRIVANE_TEST_MEDIA");
    return std::string(dir ? dir : "") + "\\" + name;
}

std::vector<uint8_t> ReadBytes(const std::string &path) {
    std::vector<uint8_t> bytes;
    if (FILE *file = std::fopen(path.c_str(), "rb")) {
        uint8_t block[65536];
        size_t got;
        while ((got = std::fread(block, 1, sizeof(block), file)) > 0) bytes.insert(bytes.end(), block, block + got);
        std::fclose(file);
    }
    return bytes;
}

std::vector<int16_t> Samples(const std::vector<uint8_t> &bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Signal to noise of ours against theirs in dB over their whole length, ours being shifted later by
// the number of frames up to maxLead that fits best.
double BestSnr(const std::vector<int16_t> &theirs, const std::vector<int16_t> &ours, int channels, int maxLead) {
    double best = -1;
    for (int lead = 0; lead <= maxLead; ++lead) {
        double noise = 0, power = 0;
        const size_t offset = size_t(lead) * channels;
        if (offset >= ours.size()) break;
        const size_t count = std::min(theirs.size(), ours.size() - offset);
        for (size_t i = 0; i < count; i += 7) {
            const double d = double(theirs[i]) - ours[i + offset];
            noise += d * d;
            power += double(theirs[i]) * theirs[i];
        }
        const double snr = noise == 0 ? 200 : 10 * std::log10(power / noise);
        best = std::max(best, snr);
    }
    return best;
}

class HostDecode : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("BRIVANE_TEST_MEDIA")) GTEST_SKIP() << "BRIVANE_TEST_MEDIA names no media directory";
    }
    void TearDown() override { B().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr); }
};

TEST_F(HostDecode, WavAndWmaDecodeToTheirPcm) {
    struct Case {
        const char *name;
        bool exact;
        // Wine's reader puts up to this many frames of codec delay in front of WMA PCM, and its PCM then
        // runs on past what the ffmpeg program decodes by about as much (2029 frames for chirp.wma).
        int maxLead;
    };
    const Case cases[] = {{"chirp.wav", true, 0}, {"chirp.wma", false, 4096}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> reference = ReadBytes(MediaPath(c.name) + ".s16");
        ASSERT_FALSE(reference.empty());
        PcmLog log;
        ASSERT_EQ(1u, B().GetAudioPCM(BRIVANE_KIND_AUDIO, MediaPath(c.name).c_str(), 0, 0, &PcmLog::OnPcm,
                                      log.User(), nullptr));
        EXPECT_EQ((std::vector<uint32_t>{BRIVANE_PCM_FORMAT, BRIVANE_PCM_DATA, BRIVANE_PCM_END}), log.codes);
        EXPECT_EQ(1, log.format.wFormatTag);
        EXPECT_EQ(2, log.format.nChannels);
        EXPECT_EQ(44100u, log.format.nSamplesPerSec);
        EXPECT_EQ(16, log.format.wBitsPerSample);
        if (c.exact) {
            EXPECT_EQ(reference, log.pcm);
        } else {
            EXPECT_NEAR(double(reference.size()), double(log.pcm.size()), 4.0 * c.maxLead + 4 * 2048);
            EXPECT_GT(BestSnr(Samples(reference), Samples(log.pcm), 2, c.maxLead), 40.0);
        }
    }
}

TEST_F(HostDecode, WindowAndCancelFlag) {
    const std::vector<uint8_t> reference = ReadBytes(MediaPath("chirp.wav") + ".s16");
    ASSERT_GE(reference.size(), 352800u);
    PcmLog window;
    ASSERT_EQ(1u, B().GetAudioPCM(BRIVANE_KIND_AUDIO, MediaPath("chirp.wav").c_str(), 1000, 2000, &PcmLog::OnPcm,
                                  window.User(), nullptr));
    EXPECT_EQ((std::vector<uint32_t>{BRIVANE_PCM_FORMAT, BRIVANE_PCM_DATA, BRIVANE_PCM_END}), window.codes);
    EXPECT_EQ(std::vector<uint8_t>(reference.begin() + 176400, reference.begin() + 352800), window.pcm);

    volatile uint32_t cancel = 1;
    PcmLog cancelled;
    EXPECT_EQ(1u, B().GetAudioPCM(BRIVANE_KIND_AUDIO, MediaPath("chirp.wma").c_str(), 0, 0, &PcmLog::OnPcm,
                                  cancelled.User(), &cancel));
    EXPECT_EQ((std::vector<uint32_t>{BRIVANE_PCM_FORMAT, BRIVANE_PCM_END}), cancelled.codes);
}

}  // namespace
