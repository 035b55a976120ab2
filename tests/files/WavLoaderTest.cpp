// WAV loading: accepted and refused files as AudioWavGetData meets them, every companding segment among them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "WaveTestSupport.h"
#include "brivane.h"

namespace {

Bytes Data(const Bytes &samples, DWORD declared = kTrueSize) { return Chunk("data", samples, declared); }

Bytes Pcm16(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) PutLe(out, DWORD(v), 2);
    return out;
}

struct Loaded {
    std::vector<SHORT> samples;
    WAVEFORMATEX format;
};

const BYTE kUntouched = 0xAB;

// Through the export, which converts the UTF-16 path, passes the record through and hands the block to the host. Each
// file's name starts with many CJK characters, which take three UTF-8 bytes for each UTF-16 unit.
Loaded LoadFile(const char *name, const Bytes &bytes) {
    const std::string dir = testing::TempDir();
    std::string path = dir;
    for (int i = 0; i < 40; ++i) path += "\xE6\xB3\xA2";
    path += std::string(name) + ".wav";
    EXPECT_TRUE(WriteBytes(path, bytes));
    const std::u16string wide = std::u16string(dir.begin(), dir.end()) + std::u16string(40, u'\u6CE2') +
                                std::u16string(name, name + std::strlen(name)) + u".wav";
    Loaded loaded{};
    std::memset(&loaded.format, kUntouched, sizeof(loaded.format));
    uint32_t count = 99;
    int16_t *block = AudioWavGetData(wide.c_str(), &count, reinterpret_cast<BrivaneWaveFormat *>(&loaded.format), 0);
    EXPECT_EQ(block == nullptr, count == 0);
    if (block) loaded.samples.assign(block, block + count);
    EXPECT_EQ(AudioWavFreeData(block), 1u);
    std::remove(path.c_str());
    return loaded;
}

// Loads widened and mixed to mono, or is refused with no block; the record comes back whenever the fmt chunk was read.
TEST(WavLoader, AcceptsAndRefusesFilesAndGivesBackTheRecordRead) {
    const WAVEFORMATEX pcm16Stereo = PcmFormat(2, 44100, 16);
    const WAVEFORMATEX pcm8Mono = PcmFormat(1, 48000, 8);
    const WAVEFORMATEX withExtra = PcmFormat(1, 22050, 16, WAVE_FORMAT_PCM, 22);
    const Bytes frame = Pcm16({1, 2});
    WAVEFORMATEX untouched;
    std::memset(&untouched, kUntouched, sizeof(untouched));
    const struct {
        const char *name;
        WAVEFORMATEX format;  // the record the caller gets back
        Bytes data;
        std::vector<SHORT> samples;      // none: refused
        std::optional<Bytes> file = {};  // the format as a 16-byte "fmt " chunk, then the data, unless given
    } cases[] = {
        {"pcm16-stereo-truncating-mean",
         pcm16Stereo,
         Pcm16({-3, 2, 100, 101, -5, -6, 32767, -32768, -32768, -32768}),
         {0, 100, -5, 0, -32768}},
        {"pcm16-mono-copied", PcmFormat(1, 8000, 16), Pcm16({1, -1, 32767, -32768}), {1, -1, 32767, -32768}},
        {"pcm8-mono-48000", pcm8Mono, {0, 128, 255}, {-32768, 0, 32512}},
        {"pcm8-stereo", PcmFormat(2, 11025, 8), {0, 0, 255, 255, 0, 255, 129, 130}, {-32768, 32512, -128, 384}},
        {"alaw-every-segment",
         PcmFormat(1, 8000, 8, 6),
         {0xD4, 0xC1, 0xF2, 0xEF, 0x98, 0x85, 0xB6, 0xA3, 0x55, 0x2A},
         {24, 328, 752, 1696, 3776, 4224, 9984, 23040, -8, -32256}},
        {"alaw-stereo-16-bit-field-read-as-codes",
         PcmFormat(2, 8000, 16, 6),
         {0xD5, 0xD4, 0xAA, 0x55, 0x80},
         {(8 + 24) / 2, (32256 - 8) / 2}},
        {"mulaw-every-segment",
         PcmFormat(1, 8000, 8, 7),
         {0xFD, 0xE8, 0xD3, 0xCE, 0xB9, 0xA4, 0x9F, 0x8A, 0xFF, 0x00, 0x80, 0x7F},
         {16, 244, 780, 988, 2748, 6908, 8316, 21884, 0, -32124, 32124, 0}},
        {"mulaw-stereo", PcmFormat(2, 8000, 8, 7), {0x00, 0xFE, 0xFF, 0x80}, {(-32124 + 8) / 2, 32124 / 2}},
        {"pcm16-stereo-half-frame-ignored", pcm16Stereo, Pcm16({10, 20, 30}), {15}},
        {"fmt-18-then-fact-and-list-before-data",
         withExtra,
         {},
         {7},
         Riff({FmtChunk(withExtra, 18), Chunk("fact", {1, 0, 0, 0}), Chunk("LIST", {'I', 'N', 'F', 'O', 1}),
               Data(Pcm16({7}))})},
        {"fmt-17-keeps-no-extra", PcmFormat(1, 22050, 16), {}, {7}, Riff({FmtChunk(withExtra, 17), Data(Pcm16({7}))})},
        {"riff-size-past-the-end", pcm8Mono, {}, {0}, Riff({FmtChunk(pcm8Mono), Data({128})}, "WAVE", 1000)},
        {"rate-7999", PcmFormat(1, 7999, 16), frame, {}},
        {"rate-48001", PcmFormat(1, 48001, 16), frame, {}},
        {"no-channels", PcmFormat(0, 8000, 16), frame, {}},
        {"three-channels", PcmFormat(3, 8000, 16), frame, {}},
        {"float", PcmFormat(1, 8000, 16, 3), frame, {}},
        {"24-bit", PcmFormat(1, 8000, 24), frame, {}},
        {"no-data-chunk", pcm16Stereo, {}, {}, Riff({FmtChunk(pcm16Stereo)})},
        {"empty-data-chunk", pcm16Stereo, {}, {}},
        {"data-before-fmt", pcm16Stereo, {}, {}, Riff({Data(frame), FmtChunk(pcm16Stereo)})},
        {"data-of-half-a-frame", pcm16Stereo, Pcm16({5}), {}},
        {"data-cut-short", pcm16Stereo, {}, {}, Riff({FmtChunk(pcm16Stereo), Data(frame, 1000)})},
        {"data-claims-4-gib", pcm16Stereo, {}, {}, Riff({FmtChunk(pcm16Stereo), Data(frame, 0xFFFFFFF8)})},
        {"fmt-14-bytes", untouched, {}, {}, Riff({FmtChunk(pcm16Stereo, 14), Data(frame)})},
        {"fmt-cut-short", untouched, {}, {}, Cut(Riff({FmtChunk(pcm16Stereo), Data(frame)}), 30)},
        {"fmt-claims-4-gib", untouched, {}, {}, Riff({Chunk("fmt ", FmtChunk(pcm16Stereo), 0xFFFFFFF0)})},
        {"riff-too-small-for-fmt", untouched, {}, {}, Riff({FmtChunk(pcm16Stereo), Data(frame)}, "WAVE", 4)},
        {"not-riff", untouched, {}, {}, Renamed(Riff({FmtChunk(pcm16Stereo), Data(frame)}), "RIFX")},
        {"other-form", untouched, {}, {}, Riff({FmtChunk(pcm16Stereo), Data(frame)}, "AVI ")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = LoadFile(c.name, c.file ? *c.file : Riff({FmtChunk(c.format), Data(c.data)}));
        EXPECT_EQ(loaded.samples, c.samples);
        EXPECT_EQ(std::memcmp(&loaded.format, &c.format, sizeof(c.format)), 0);
    }
    uint32_t count = 99;
    EXPECT_EQ(AudioWavGetData(nullptr, &count, nullptr, 0), nullptr);
    EXPECT_EQ(count, 0u);
}

}  // namespace
