// AudioWavGetData as a Windows host meets it: WAV files the test writes, loaded through the DLL and
// given back with AudioWavFreeData.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostLibrary.h"

namespace {

typedef std::vector<BYTE> Bytes;

void PutLe(Bytes &out, DWORD value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(BYTE(value >> (8 * i)));
}

// A RIFF WAVE file of one 16-byte format chunk and one data chunk that claims dataLength bytes.
Bytes Wave(WORD tag, WORD channels, DWORD rate, WORD bits, const Bytes &data, DWORD dataLength) {
    Bytes out{'R', 'I', 'F', 'F'};
    PutLe(out, DWORD(4 + 24 + 8 + data.size()), 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(out, 16, 4);
    PutLe(out, tag, 2);
    PutLe(out, channels, 2);
    PutLe(out, rate, 4);
    PutLe(out, rate * channels * (bits / 8), 4);
    PutLe(out, channels * (bits / 8), 2);
    PutLe(out, bits, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    PutLe(out, dataLength, 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::wstring WriteTemp(const wchar_t *name, const Bytes &bytes) {
    wchar_t dir[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir, length) + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    CloseHandle(file);
    return path;
}

TEST(HostWavData, LoadsAcceptedFilesAndRefusesTheOthers) {
    const Bytes stereo16{0xFD, 0xFF, 0x02, 0x00, 0x64, 0x00, 0x65, 0x00};  // (-3, 2), (100, 101)
    const struct {
        const wchar_t *name;
        Bytes file;
        std::vector<int16_t> samples;  // empty: refused
        WORD tag;
        DWORD rate;
    } cases[] = {
        {L"brivane-pcm16-stereo.wav", Wave(1, 2, 44100, 16, stereo16, 8), {0, 100}, 1, 44100},
        {L"brivane-pcm8-mono.wav", Wave(1, 1, 8000, 8, {0, 128, 255}, 3), {-32768, 0, 32512}, 1, 8000},
        {L"brivane-alaw-mono.wav", Wave(6, 1, 8000, 8, {0xD5, 0x55}, 2), {8, -8}, 6, 8000},
        {L"brivane-mulaw-stereo.wav", Wave(7, 2, 48000, 8, {0xFF, 0xFF, 0x00, 0x00}, 4), {0, -32124}, 7, 48000},
        {L"brivane-rate-48001.wav", Wave(1, 1, 48001, 16, stereo16, 8), {}, 1, 48001},
        {L"brivane-float.wav", Wave(3, 1, 8000, 16, stereo16, 8), {}, 3, 8000},
        {L"brivane-data-cut-short.wav", Wave(1, 2, 44100, 16, stereo16, 800), {}, 1, 44100},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.tag << " " << c.rate << " " << c.samples.size());
        const std::wstring path = WriteTemp(c.name, c.file);
        uint32_t count = 99;
        BrivaneWaveFormat format{};
        int16_t *block = Brivane().AudioWavGetData(path.c_str(), &count, &format, 0);
        EXPECT_EQ(format.wFormatTag, c.tag);
        EXPECT_EQ(format.nSamplesPerSec, c.rate);
        ASSERT_EQ(count, c.samples.size());
        ASSERT_EQ(block == nullptr, c.samples.empty());
        EXPECT_EQ(std::vector<int16_t>(block, block + count), c.samples);
        EXPECT_EQ(Brivane().AudioWavFreeData(block), 1u);
        DeleteFileW(path.c_str());
    }
}

}  // namespace
