// The RIFF WAVE header of direct WAV mode: the shapes it takes and the ones it refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "WaveTestSupport.h"
#include "playback/MemoryStream.h"
#include "playback/RiffWaveParser.h"

namespace {

// The format record's first length bytes: 16-bit stereo at 44100 Hz with the given tag and cbSize.
Bytes Fmt(DWORD length, WORD tag = WAVE_FORMAT_PCM, WORD cbSize = 0) {
    return FmtChunk(PcmFormat(2, 44100, 16, tag, cbSize), length);
}

TEST(RiffWaveParser, HeaderShapes) {
    const Bytes data = Chunk("data", Bytes(8, 0));
    const Bytes plain = Riff({Fmt(16), data});
    const struct {
        const char *name;
        Bytes image;
        HRESULT result;
        WORD tag, cbSize;
        DWORD dataSize, dataOffset;
    } cases[] = {
        {"fmt 16 then data", plain, S_OK, 1, 0, 8, 44},
        {"fmt 16, fact 4, data", Riff({Fmt(16), Chunk("fact", Bytes(4, 0)), data}), S_OK, 1, 0, 8, 56},
        {"two fact chunks", Riff({Fmt(16), Chunk("fact", Bytes(4, 0)), Chunk("fact", {}), data}), S_OK, 1, 0, 8, 64},
        {"fmt 18 PCM drops its cbSize", Riff({Fmt(18, 1, 6), data}), S_OK, 1, 0, 8, 46},
        {"fmt 18 compressed skips cbSize bytes", Riff({Fmt(18, 2, 4), Bytes(4, 0xEE), data}), S_OK, 2, 4, 8, 50},
        {"data length beyond the image", Riff({Fmt(16), Chunk("data", Bytes(4, 0), 1000)}), S_OK, 1, 0, 1000, 44},
        {"empty data chunk at the end", Riff({Fmt(16), Chunk("data", {})}), S_OK, 1, 0, 0, 44},
        {"LIST before data", Riff({Fmt(16), Chunk("LIST", Bytes(4, 0)), data}), E_FAIL, 0, 0, 0, 0},
        {"first chunk not fmt", Riff({Chunk("fact", Bytes(16, 0)), data}), E_FAIL, 0, 0, 0, 0},
        {"fmt 14", Riff({Fmt(14), data}), E_FAIL, 0, 0, 0, 0},
        {"fmt 20", Riff({Fmt(20), data}), E_FAIL, 0, 0, 0, 0},
        {"RIFX", Renamed(Riff({Fmt(16), data}), "RIFX"), E_FAIL, 0, 0, 0, 0},
        {"form AVI", Riff({Fmt(16), data}, "AVI "), E_FAIL, 0, 0, 0, 0},
        {"cut inside the RIFF header", Cut(plain, 10), E_FAIL, 0, 0, 0, 0},
        {"cut inside fmt", Cut(plain, 30), E_FAIL, 0, 0, 0, 0},
        {"cut inside the data header", Cut(plain, 40), E_FAIL, 0, 0, 0, 0},
        {"cbSize skip past the end", Riff({Fmt(18, 2, 400), data}), E_FAIL, 0, 0, 0, 0},
        {"fact length wrapping backwards", Riff({Fmt(16), Chunk("fact", {}, 0xFFFFFFF8), data}), E_FAIL, 0, 0, 0, 0},
        {"an empty image", Bytes(), E_FAIL, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = c.image;
        CMemoryStream *stream = new CMemoryStream;
        stream->Attach(image.data(), DWORD(image.size()), 0, nullptr);
        WAVEFORMATEX format = {};
        DWORD dataSize = 77, dataOffset = 77;
        EXPECT_EQ(ParseRiffWave(stream, &format, &dataSize, &dataOffset), c.result);
        if (c.result == S_OK) {
            const WAVEFORMATEX expected = PcmFormat(2, 44100, 16, c.tag, c.cbSize);
            EXPECT_EQ(0, std::memcmp(&format, &expected, sizeof format));
            EXPECT_EQ(dataSize, c.dataSize);
            EXPECT_EQ(dataOffset, c.dataOffset);
        }
        stream->Release();
    }
}

}  // namespace
