// The RIFF WAVE header of direct WAV mode: the shapes it takes and the ones it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playback/MemoryStream.h"
#include "playback/RiffWaveParser.h"

namespace {

typedef std::vector<BYTE> Bytes;

void PutLe(Bytes &out, DWORD value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(BYTE(value >> (8 * i)));
}

Bytes Chunk(const char *id, DWORD length, const Bytes &body = {}) {
    Bytes out(id, id + 4);
    PutLe(out, length, 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// The format record's first length bytes: 16-bit stereo at 44100 Hz with the given tag and cbSize.
Bytes Fmt(DWORD length, WORD tag = 1, WORD cbSize = 0) {
    Bytes body;
    PutLe(body, tag, 2);
    PutLe(body, 2, 2);
    PutLe(body, 44100, 4);
    PutLe(body, 176400, 4);
    PutLe(body, 4, 2);
    PutLe(body, 16, 2);
    PutLe(body, cbSize, 2);
    body.resize(length);
    return Chunk("fmt ", length, body);
}

Bytes Wave(std::initializer_list<Bytes> chunks, const char *riff = "RIFF", const char *form = "WAVE") {
    Bytes out(riff, riff + 4);
    PutLe(out, 0, 4);
    out.insert(out.end(), form, form + 4);
    for (const Bytes &chunk : chunks) out.insert(out.end(), chunk.begin(), chunk.end());
    return out;
}

Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

TEST(RiffWaveParser, HeaderShapes) {
    const Bytes data = Chunk("data", 8, Bytes(8, 0));
    const Bytes plain = Wave({Fmt(16), data});
    const struct {
        const char *name;
        Bytes image;
        HRESULT result;
        WORD tag;
        WORD cbSize;
        DWORD dataSize;
        DWORD dataOffset;
    } cases[] = {
        {"fmt 16 then data", plain, S_OK, 1, 0, 8, 44},
        {"fmt 16, fact 4, data", Wave({Fmt(16), Chunk("fact", 4, Bytes(4, 0)), data}), S_OK, 1, 0, 8, 56},
        {"two fact chunks", Wave({Fmt(16), Chunk("fact", 4, Bytes(4, 0)), Chunk("fact", 0), data}), S_OK, 1, 0, 8, 64},
        {"fmt 18 PCM drops its cbSize", Wave({Fmt(18, 1, 6), data}), S_OK, 1, 0, 8, 46},
        {"fmt 18 compressed skips cbSize bytes", Wave({Fmt(18, 2, 4), Bytes(4, 0xEE), data}), S_OK, 2, 4, 8, 50},
        {"fmt 18 compressed without extra", Wave({Fmt(18, 2, 0), data}), S_OK, 2, 0, 8, 46},
        {"data length beyond the image", Wave({Fmt(16), Chunk("data", 1000, Bytes(4, 0))}), S_OK, 1, 0, 1000, 44},
        {"empty data chunk at the end", Wave({Fmt(16), Chunk("data", 0)}), S_OK, 1, 0, 0, 44},
        {"LIST before data", Wave({Fmt(16), Chunk("LIST", 4, Bytes(4, 0)), data}), E_FAIL, 0, 0, 0, 0},
        {"first chunk not fmt", Wave({Chunk("fact", 4, Bytes(4, 0)), Fmt(16), data}), E_FAIL, 0, 0, 0, 0},
        {"data first", Wave({data, Fmt(16)}), E_FAIL, 0, 0, 0, 0},
        {"fmt 14", Wave({Fmt(14), data}), E_FAIL, 0, 0, 0, 0},
        {"fmt 20", Wave({Fmt(20), data}), E_FAIL, 0, 0, 0, 0},
        {"RIFX", Wave({Fmt(16), data}, "RIFX"), E_FAIL, 0, 0, 0, 0},
        {"form AVI", Wave({Fmt(16), data}, "RIFF", "AVI "), E_FAIL, 0, 0, 0, 0},
        {"cut inside the RIFF header", Cut(plain, 10), E_FAIL, 0, 0, 0, 0},
        {"cut inside fmt", Cut(plain, 30), E_FAIL, 0, 0, 0, 0},
        {"cut before data", Cut(plain, 36), E_FAIL, 0, 0, 0, 0},
        {"cut inside the data header", Cut(plain, 40), E_FAIL, 0, 0, 0, 0},
        {"cbSize skip past the end", Wave({Fmt(18, 2, 400), data}), E_FAIL, 0, 0, 0, 0},
        {"fact length wrapping backwards", Wave({Fmt(16), Chunk("fact", 0xFFFFFFF8), data}), E_FAIL, 0, 0, 0, 0},
        {"fact past the end", Wave({Fmt(16), Chunk("fact", 1000), data}), E_FAIL, 0, 0, 0, 0},
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
            EXPECT_EQ(format.wFormatTag, c.tag);
            EXPECT_EQ(format.nChannels, 2);
            EXPECT_EQ(format.nSamplesPerSec, 44100u);
            EXPECT_EQ(format.nAvgBytesPerSec, 176400u);
            EXPECT_EQ(format.nBlockAlign, 4);
            EXPECT_EQ(format.wBitsPerSample, 16);
            EXPECT_EQ(format.cbSize, c.cbSize);
            EXPECT_EQ(dataSize, c.dataSize);
            EXPECT_EQ(dataOffset, c.dataOffset);
        }
        stream->Release();
    }
}

TEST(RiffWaveParser, NoSourceOrAnEmptyOne) {
    WAVEFORMATEX format = {};
    DWORD dataSize = 0, dataOffset = 0;
    EXPECT_EQ(ParseRiffWave(nullptr, &format, &dataSize, &dataOffset), E_INVALIDARG);
    BYTE byte = 0;
    CMemoryStream *stream = new CMemoryStream;
    stream->Attach(&byte, 0, 0, nullptr);
    EXPECT_EQ(ParseRiffWave(stream, &format, &dataSize, &dataOffset), E_FAIL);
    stream->Release();
}

}  // namespace
