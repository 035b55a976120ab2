// The WAV loaders' RIFF walk on good, truncated, oversized, odd and nested chunks, and Windows' seek and open rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ContractSupport.h"
#include "WaveTestSupport.h"

namespace {

Bytes B(const std::string &text) { return Bytes(text.begin(), text.end()); }

// The chunk declaring the size in its header, all bits set included.
Bytes Sized(Bytes chunk, DWORD size) {
    for (int i = 0; i < 4; ++i) chunk[size_t(4 + i)] = BYTE(size >> (8 * i));
    return chunk;
}

const Bytes kFmt = FmtChunk(PcmFormat(1, 8000, 16));

// Reads at most this much of a chunk: enough for every file here, and safe for declared sizes.
const DWORD kReadLimit = 1 << 16;

std::string ReadChunk(HMMIO file, const MMCKINFO &chunk) {
    std::vector<char> buffer(std::min(chunk.cksize, kReadLimit) + 1);
    const LONG read = mmioRead(file, buffer.data(), LONG(buffer.size() - 1));
    return read < 0 ? "read failed" : std::string(buffer.data(), size_t(read));
}

// The walk's outcome in words: the first failed step and its code, or each chunk's declared size and what reading gave.
std::string WalkWave(HMMIO file) {
    MMCKINFO riff = {}, fmt = {}, data = {};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (MMRESULT result = mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF))
        return "no WAVE form: " + std::to_string(result);
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (MMRESULT result = mmioDescend(file, &fmt, &riff, MMIO_FINDCHUNK)) return "no fmt: " + std::to_string(result);
    const std::string outcome =
        "fmt " + std::to_string(fmt.cksize) + " read " + std::to_string(ReadChunk(file, fmt).size());
    mmioAscend(file, &fmt, 0);
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (MMRESULT result = mmioDescend(file, &data, &riff, MMIO_FINDCHUNK))
        return outcome + ", no data: " + std::to_string(result);
    return outcome + ", data " + std::to_string(data.cksize) + " read " + ReadChunk(file, data);
}

// Windows counts an end offset backwards and refuses a seek before the start; the file must be at most 64 bytes.
void ExpectWindowsSeeks(HMMIO file, LONG size) {
    char tail[64];
    const struct {
        LONG offset;
        int origin;
        LONG position;  // -1: refused
        LONG readable;  // what a read of 64 bytes from there gives, when the seek is taken
    } seeks[] = {{16, SEEK_END, size - 16, 16}, {size + 5, SEEK_SET, size + 5, 0}, {-1, SEEK_SET, -1, 0}};
    for (const auto &seek : seeks) {
        EXPECT_EQ(mmioSeek(file, seek.offset, seek.origin), seek.position) << seek.offset << " from " << seek.origin;
        if (seek.position >= 0) {
            EXPECT_EQ(mmioRead(file, tail, sizeof(tail)), seek.readable) << seek.offset << " from " << seek.origin;
        }
    }
}

// Every walk ends in a close that succeeds once; a file that is not there fails to open.
TEST(MmioContract, WaveWalkOnWellFormedAndDamagedFiles) {
    const Bytes data = Chunk("data", B("0123456789")), fmtBody(kFmt.begin() + 8, kFmt.end());
    const struct {
        Bytes bytes;
        std::string outcome;
        // Why Wine answers otherwise, where it does.
        const char *wineDiffers;
    } cases[] = {
        {Riff({kFmt, data}), "fmt 16 read 16, data 10 read 0123456789", nullptr},
        {Riff({Chunk("junk", B("abc")), kFmt, Chunk("odd ", B("12345")), Chunk("data", B("abcdefg"))}),
         "fmt 16 read 16, data 7 read abcdefg", nullptr},
        {Riff({Renamed(Riff({Chunk("data", B("XXXX"))}, "INFO"), "LIST"), kFmt, Chunk("data", B("outer!"))}),
         "fmt 16 read 16, data 6 read outer!", nullptr},
        {Riff({data, kFmt}), "fmt 16 read 16, no data: 265", nullptr},
        {Riff({kFmt, Chunk("data", B("0123456789"), 1000)}), "fmt 16 read 16, data 1000 read 0123456789", nullptr},
        {Riff({Chunk("fmt ", fmtBody, 0xFFFFFFF0u), data}), "fmt 4294967280 read 34, no data: 265", nullptr},
        {Riff({kFmt, Sized(Chunk("big ", {}), 0xFFFFFFFFu), data}), "fmt 16 read 16, no data: 265",
         "Wine's offsets wrap at 32 bits: the 4 GB chunk seems to end where it starts"},
        {Riff({kFmt, Chunk("junk", B("ab")), data}, "WAVE", 4 + DWORD(kFmt.size()) + 10),
         "fmt 16 read 16, no data: 265", "Wine's search runs on past the parent chunk's end, to the end of the file"},
        {Sized(Riff({kFmt, data}), 0xFFFFFFFFu), "fmt 16 read 16, data 10 read 0123456789",
         "Wine's parent end wraps at 32 bits and puts every position outside the RIFF chunk"},
        {B(std::string("RIFF\x10\x00\x00", 7)), "no WAVE form: 265", nullptr},
    };
    for (const auto &c : cases) {
        if (c.wineDiffers && RunningUnderWine()) continue;
        std::string name = "mmio_walk_" + std::to_string(&c - cases) + ".wav";
        ASSERT_TRUE(WriteBytes(name, c.bytes));
        HMMIO file = mmioOpenA(&name[0], nullptr, MMIO_READ | MMIO_ALLOCBUF);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(WalkWave(file), c.outcome) << "case " << &c - cases;
        if (&c == cases) ExpectWindowsSeeks(file, LONG(c.bytes.size()));
        EXPECT_EQ(mmioClose(file, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(mmioClose(file, 0), MMSYSERR_INVALHANDLE);
    }
    char absent[] = "mmio_no_such_file.wav";
    MMIOINFO info = {};
    EXPECT_EQ(mmioOpenA(absent, &info, MMIO_READ), nullptr);
    EXPECT_EQ(info.wErrorRet, UINT(MMIOERR_FILENOTFOUND));
}

}  // namespace
