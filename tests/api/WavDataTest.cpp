// AudioWavGetData as a host meets it: WAV files the test writes, loaded through the exports and given
// back with AudioWavFreeData.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "HostHarness.h"
#include "PlaybackMedia.h"

namespace {

using Bytes = std::vector<char>;

Bytes Wave(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, const Bytes &data, uint32_t claimed) {
    BrivaneWaveFormat format = Pcm(channels, rate, bits);
    format.wFormatTag = tag;
    return WaveImage(format, data, false, claimed);
}

TEST(WavData, LoadsAcceptedFilesAndRefusesTheOthers) {
    const Bytes stereo16{'\xFD', '\xFF', 2, 0, 100, 0, 101, 0};  // (-3, 2), (100, 101)
    const struct {
        const char *name;
        Bytes file;
        std::vector<int16_t> samples;  // empty: refused
        uint16_t tag;
        uint32_t rate;
    } cases[] = {
        {"brivane-pcm16-stereo.wav", Wave(1, 2, 44100, 16, stereo16, 8), {0, 100}, 1, 44100},
        {"brivane-pcm8-mono.wav", Wave(1, 1, 8000, 8, {0, '\x80', '\xFF'}, 3), {-32768, 0, 32512}, 1, 8000},
        {"brivane-alaw-mono.wav", Wave(6, 1, 8000, 8, {'\xD5', 0x55}, 2), {8, -8}, 6, 8000},
        {"brivane-mulaw-stereo.wav", Wave(7, 2, 48000, 8, {'\xFF', '\xFF', 0, 0}, 4), {0, -32124}, 7, 48000},
        {"brivane-rate-48001.wav", Wave(1, 1, 48001, 16, stereo16, 8), {}, 1, 48001},
        {"brivane-float.wav", Wave(3, 1, 8000, 16, stereo16, 8), {}, 3, 8000},
        {"brivane-data-cut-short.wav", Wave(1, 2, 44100, 16, stereo16, 800), {}, 1, 44100},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.tag << " " << c.rate << " " << c.samples.size());
        const std::string path = WriteTemp(c.name, c.file);
        uint32_t count = 99;
        BrivaneWaveFormat format{};
        int16_t *block = Brivane().AudioWavGetData(HostText(path.begin(), path.end()).c_str(), &count, &format, 0);
        EXPECT_EQ(format.wFormatTag, c.tag);
        EXPECT_EQ(format.nSamplesPerSec, c.rate);
        ASSERT_EQ(count, c.samples.size());
        ASSERT_EQ(block == nullptr, c.samples.empty());
        EXPECT_EQ(std::vector<int16_t>(block, block + count), c.samples);
        EXPECT_EQ(Brivane().AudioWavFreeData(block), 1u);
        std::remove(path.c_str());
    }
}

}  // namespace
