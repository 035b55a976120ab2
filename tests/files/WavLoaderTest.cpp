// WAV loading: accepted and refused files as AudioWavGetData meets them, and the companding tables
// against G.711's own reconstruction rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "brivane.h"
#include "files/SampleConverters.h"
#include "files/WavLoader.h"

namespace {

typedef std::vector<BYTE> Bytes;

const DWORD kTrueSize = 0xFFFFFFFF;

void PutLe(Bytes &out, DWORD value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(BYTE(value >> (8 * i)));
}

Bytes Chunk(const char *id, const Bytes &body, DWORD declared = kTrueSize) {
    Bytes out(id, id + 4);
    PutLe(out, declared == kTrueSize ? DWORD(body.size()) : declared, 4);
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
    return out;
}

Bytes Riff(const std::vector<Bytes> &chunks, const char *form = "WAVE", DWORD declared = kTrueSize) {
    Bytes body(form, form + 4);
    for (const Bytes &chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
    return Chunk("RIFF", body, declared);
}

WAVEFORMATEX Format(WORD tag, WORD channels, DWORD rate, WORD bits, WORD cbSize = 0) {
    const WORD align = WORD(channels * (bits / 8));
    return WAVEFORMATEX{tag, channels, rate, rate * align, align, bits, cbSize};
}

// The record's first size bytes, as a "fmt " chunk body of that size.
Bytes Fmt(const WAVEFORMATEX &format, size_t size = 16) {
    Bytes body(reinterpret_cast<const BYTE *>(&format), reinterpret_cast<const BYTE *>(&format) + 18);
    body.resize(size);
    return Chunk("fmt ", body);
}

Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes Data(const Bytes &samples, DWORD declared = kTrueSize) { return Chunk("data", samples, declared); }

Bytes Pcm16(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) PutLe(out, DWORD(v), 2);
    return out;
}

std::string WriteFile(const char *name, const Bytes &bytes) {
    const std::string path = testing::TempDir() + "wav-loader-" + name + ".wav";
    std::FILE *file = std::fopen(path.c_str(), "wb");
    EXPECT_TRUE(file && (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size()));
    if (file) std::fclose(file);
    return path;
}

struct Loaded {
    DWORD count;
    std::vector<SHORT> samples;
    DWORD rate;
    WAVEFORMATEX format;
};

const BYTE kUntouched = 0xAB;

Loaded Load(const char *path) {
    SHORT *block = nullptr;
    Loaded loaded{};
    std::memset(&loaded.format, kUntouched, sizeof(loaded.format));
    CWavLoader loader(path);
    loaded.count = loader.Load(&block, &loaded.rate, &loaded.format);
    EXPECT_EQ(block == nullptr, loaded.count == 0);
    if (block) loaded.samples.assign(block, block + loaded.count);
    std::free(block);
    return loaded;
}

Loaded LoadFile(const char *name, const Bytes &bytes) {
    const std::string path = WriteFile(name, bytes);
    const Loaded loaded = Load(path.c_str());
    std::remove(path.c_str());
    return loaded;
}

bool SameRecord(const WAVEFORMATEX &a, const WAVEFORMATEX &b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

TEST(WavLoader, AcceptedFormatsWidenAndMixDownToMono) {
    const WAVEFORMATEX pcm16Stereo = Format(1, 2, 44100, 16);
    const WAVEFORMATEX pcm8Mono = Format(1, 1, 48000, 8);
    const WAVEFORMATEX aLawStereo = Format(6, 2, 8000, 16);
    const WAVEFORMATEX muLawMono = Format(7, 1, 8000, 8);
    const WAVEFORMATEX withExtra = Format(1, 1, 22050, 16, 22);
    const struct {
        const char *name;
        Bytes file;
        WAVEFORMATEX format;
        std::vector<SHORT> samples;
    } cases[] = {
        {"pcm16-stereo-truncating-mean", Riff({Fmt(pcm16Stereo), Data(Pcm16({-3, 2, 100, 101, -5, -6, 32767, -32768,
                                                                             -32768, -32768}))}),
         pcm16Stereo, {0, 100, -5, 0, -32768}},
        {"pcm16-mono-copied", Riff({Fmt(Format(1, 1, 8000, 16)), Data(Pcm16({1, -1, 32767, -32768}))}),
         Format(1, 1, 8000, 16), {1, -1, 32767, -32768}},
        {"pcm8-mono-48000", Riff({Fmt(pcm8Mono), Data({0, 128, 255})}), pcm8Mono, {-32768, 0, 32512}},
        {"pcm8-stereo", Riff({Fmt(Format(1, 2, 11025, 8)), Data({0, 0, 255, 255, 0, 255, 129, 130})}),
         Format(1, 2, 11025, 8), {-32768, 32512, -128, 384}},
        {"alaw-mono", Riff({Fmt(Format(6, 1, 8000, 8)), Data({0xD5, 0x55, 0xAA, 0x2A})}), Format(6, 1, 8000, 8),
         {8, -8, 32256, -32256}},
        {"alaw-stereo-16-bit-field-read-as-codes", Riff({Fmt(aLawStereo), Data({0xD5, 0xD4, 0xAA, 0x55, 0x80})}),
         aLawStereo, {(8 + 24) / 2, (32256 - 8) / 2}},
        {"mulaw-mono", Riff({Fmt(muLawMono), Data({0xFF, 0x00, 0x80, 0x7F})}), muLawMono, {0, -32124, 32124, 0}},
        {"mulaw-stereo", Riff({Fmt(Format(7, 2, 8000, 8)), Data({0x00, 0xFE, 0xFF, 0x80})}), Format(7, 2, 8000, 8),
         {(-32124 + 8) / 2, 32124 / 2}},
        {"pcm16-stereo-half-frame-ignored", Riff({Fmt(pcm16Stereo), Data(Pcm16({10, 20, 30}))}), pcm16Stereo, {15}},
        {"fmt-18-then-fact-and-list-before-data",
         Riff({Fmt(withExtra, 18), Chunk("fact", {1, 0, 0, 0}), Chunk("LIST", {'I', 'N', 'F', 'O', 1}),
               Data(Pcm16({7}))}),
         withExtra, {7}},
        {"fmt-17-keeps-no-extra", Riff({Fmt(withExtra, 17), Data(Pcm16({7}))}), Format(1, 1, 22050, 16), {7}},
        {"riff-size-past-the-end", Riff({Fmt(pcm8Mono), Data({128})}, "WAVE", 1000), pcm8Mono, {0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = LoadFile(c.name, c.file);
        EXPECT_EQ(loaded.count, c.samples.size());
        EXPECT_EQ(loaded.samples, c.samples);
        EXPECT_EQ(loaded.rate, c.format.nSamplesPerSec);
        EXPECT_TRUE(SameRecord(loaded.format, c.format));
    }
}

TEST(WavLoader, RefusedFilesGiveNoBlockAndTheRecordWhenTheFormatChunkWasRead) {
    const WAVEFORMATEX good = Format(1, 2, 44100, 16);
    const Bytes frame = Pcm16({1, 2});
    WAVEFORMATEX untouched;
    std::memset(&untouched, kUntouched, sizeof(untouched));
    const struct {
        const char *name;
        Bytes file;
        WAVEFORMATEX format;  // the record the caller gets back
    } cases[] = {
        {"rate-7999", Riff({Fmt(Format(1, 1, 7999, 16)), Data(frame)}), Format(1, 1, 7999, 16)},
        {"rate-48001", Riff({Fmt(Format(1, 1, 48001, 16)), Data(frame)}), Format(1, 1, 48001, 16)},
        {"no-channels", Riff({Fmt(Format(1, 0, 8000, 16)), Data(frame)}), Format(1, 0, 8000, 16)},
        {"three-channels", Riff({Fmt(Format(1, 3, 8000, 16)), Data(frame)}), Format(1, 3, 8000, 16)},
        {"float", Riff({Fmt(Format(3, 1, 8000, 16)), Data(frame)}), Format(3, 1, 8000, 16)},
        {"adpcm", Riff({Fmt(Format(2, 1, 8000, 8)), Data(frame)}), Format(2, 1, 8000, 8)},
        {"24-bit", Riff({Fmt(Format(1, 1, 8000, 24)), Data(frame)}), Format(1, 1, 8000, 24)},
        {"alaw-4-bit", Riff({Fmt(Format(6, 1, 8000, 4)), Data(frame)}), Format(6, 1, 8000, 4)},
        {"no-data-chunk", Riff({Fmt(good)}), good},
        {"empty-data-chunk", Riff({Fmt(good), Data({})}), good},
        {"data-before-fmt", Riff({Data(frame), Fmt(good)}), good},
        {"data-of-half-a-frame", Riff({Fmt(good), Data(Pcm16({5}))}), good},
        {"data-cut-short", Riff({Fmt(good), Data(frame, 1000)}), good},
        {"data-claims-4-gib", Riff({Fmt(good), Data(frame, 0xFFFFFFF8)}), good},
        {"data-claims-2-gib", Riff({Fmt(good), Data(frame, 0x80000000)}), good},
        {"fmt-14-bytes", Riff({Fmt(good, 14), Data(frame)}), untouched},
        {"fmt-cut-short", Cut(Riff({Fmt(good), Data(frame)}), 30), untouched},
        {"fmt-claims-4-gib", Riff({Chunk("fmt ", Fmt(good), 0xFFFFFFF0)}), untouched},
        {"riff-too-small-for-fmt", Riff({Fmt(good), Data(frame)}, "WAVE", 4), untouched},
        {"not-riff", Chunk("RIFX", Riff({Fmt(good), Data(frame)})), untouched},
        {"other-form", Riff({Fmt(good), Data(frame)}, "AVI "), untouched},
        {"empty-file", {}, untouched},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = LoadFile(c.name, c.file);
        EXPECT_EQ(loaded.count, 0u);
        EXPECT_TRUE(SameRecord(loaded.format, c.format));
    }
    EXPECT_EQ(Load((testing::TempDir() + "wav-loader-missing.wav").c_str()).count, 0u);
    EXPECT_EQ(Load(nullptr).count, 0u);
}

// G.711 reconstruction: A-law 2m+1 (segment 0) or (2m+33) << (s-1), in steps of 8 at 16 bits;
// mu-law ((2m+33) << s) - 33, in steps of 4.
TEST(WavLoader, CompandingMatchesG711ForEveryCode) {
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        const int a = code ^ 0x55;
        const int aSegment = (a >> 4) & 7, aMantissa = a & 15;
        const int aMagnitude = 8 * (aSegment == 0 ? 2 * aMantissa + 1 : (2 * aMantissa + 33) << (aSegment - 1));
        EXPECT_EQ(ExpandALaw(BYTE(code)), (a & 0x80) ? aMagnitude : -aMagnitude);
        const int u = ~code & 0xFF;
        const int uSegment = (u >> 4) & 7, uMantissa = u & 15;
        const int uMagnitude = 4 * (((2 * uMantissa + 33) << uSegment) - 33);
        EXPECT_EQ(ExpandMuLaw(BYTE(code)), (u & 0x80) ? -uMagnitude : uMagnitude);
    }
}

// The export converts the UTF-16 path, passes the record through and hands the block to the host;
// a name of many CJK characters takes three UTF-8 bytes for each UTF-16 unit.
TEST(WavLoader, ExportLoadsThroughAWidePathOfManyUtf8Bytes) {
    Bytes samples;
    for (int i = 0; i < 44100; ++i) {
        PutLe(samples, DWORD(i - 22050), 2);
        PutLe(samples, DWORD(i - 22050), 2);
    }
    std::string name;
    std::u16string wideName;
    for (int i = 0; i < 40; ++i) {
        name += "\xE6\xB3\xA2";
        wideName += u'\u6CE2';
    }
    const std::string path = WriteFile(name.c_str(), Riff({Fmt(Format(1, 2, 44100, 16)), Data(samples)}));
    const std::string dir = testing::TempDir();
    const std::u16string wide = std::u16string(dir.begin(), dir.end()) + u"wav-loader-" + wideName + u".wav";
    uint32_t count = 0;
    BrivaneWaveFormat format{};
    int16_t *block = AudioWavGetData(wide.c_str(), &count, &format, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(count, 44100u);
    EXPECT_EQ(format.nSamplesPerSec, 44100u);
    EXPECT_EQ(block[0], -22050);
    EXPECT_EQ(block[44099], 22049);
    EXPECT_EQ(AudioWavFreeData(block), 1u);
    block = AudioWavGetData(wide.c_str(), nullptr, nullptr, 0);
    EXPECT_NE(block, nullptr);
    AudioWavFreeData(block);
    count = 99;
    EXPECT_EQ(AudioWavGetData(nullptr, &count, nullptr, 0), nullptr);
    EXPECT_EQ(count, 0u);
    std::remove(path.c_str());
}

}  // namespace
