// Media sources: the memory and file streams the media reader pulls a medium through.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "files/ConvertSupport.h"
#include "playback/FileStream.h"
#include "playback/MediaSource.h"

namespace {

struct Step {
    const char *name;
    bool seek;
    LONGLONG value;  // seek offset or read count
    DWORD origin;
    HRESULT result;
    DWORD got;  // bytes read, or the position after a seek
};

// Over a source of the bytes 0, 1, 2, ...: each read must return the bytes at the position the steps have reached.
template <size_t N>
void RunSteps(IStream *stream, const Step (&steps)[N]) {
    DWORD position = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        ULARGE_INTEGER moved = {};
        BYTE buffer[16] = {};
        ULONG read = 12345;
        if (step.seek) {
            LARGE_INTEGER offset;
            offset.QuadPart = step.value;
            EXPECT_EQ(stream->Seek(offset, step.origin, &moved), step.result);
            if (SUCCEEDED(step.result)) {
                EXPECT_EQ(moved.QuadPart, step.got);
                position = step.got;
            }
            continue;
        }
        EXPECT_EQ(stream->Read(buffer, ULONG(step.value), &read), step.result);
        ASSERT_EQ(read, step.got);
        for (ULONG b = 0; b < read; ++b) EXPECT_EQ(buffer[b], BYTE(position + b));
        position += read;
    }
}

ULONGLONG StatSize(IStream *stream) {
    STATSTG stat;
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    return stat.cbSize.QuadPart;
}

const HRESULT kEndOfImage = HRESULT(0x80070026);

TEST(MemoryStream, ReadsAndSeeksStayWithinTheImageUntilItsInstanceIsClosing) {
    BYTE image[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Step steps[] = {
        {"read 8", false, 8, 0, S_OK, 8},
        {"read the last 2", false, 4, 0, S_OK, 2},
        {"read at the end", false, 4, 0, kEndOfImage, 0},
        {"from the start past the end", true, 100, STREAM_SEEK_SET, S_OK, 10},
        {"3 back from the end", true, 3, STREAM_SEEK_END, S_OK, 7},
        {"the whole size back from the end", true, 10, STREAM_SEEK_END, E_INVALIDARG, 0},
        {"a negative offset moves back", true, -2, STREAM_SEEK_CUR, S_OK, 5},
        {"forward past the end stops there", true, 20, STREAM_SEEK_CUR, S_OK, 10},
        {"forward from the end", true, 1, STREAM_SEEK_CUR, E_INVALIDARG, 0},
        {"the high 32 bits are ignored", true, 0x100000002LL, STREAM_SEEK_SET, S_OK, 2},
        {"read 0 bytes", false, 0, 0, kEndOfImage, 0},
        {"read from 2", false, 3, 0, S_OK, 3},
    };
    ImageGuard guard = {};
    const AudioOutOpenParams params = {1, SOURCE_MEMORY, image, sizeof(image)};
    IStream *stream = CreateMediaSource(&params, &guard);
    ASSERT_NE(stream, nullptr);
    RunSteps(stream, steps);
    EXPECT_EQ(StatSize(stream), 10u);

    // Once its instance is closing, the host may free the image: every access is refused.
    guard.closing = 1;
    BYTE buffer[4] = {};
    STATSTG stat;
    EXPECT_EQ(stream->Read(buffer, 4, nullptr), E_UNEXPECTED);
    EXPECT_EQ(buffer[0], 0);  // nothing copied
    EXPECT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), E_UNEXPECTED);
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), E_UNEXPECTED);
    EXPECT_EQ(stream->Release(), 0u);
}

// A file of the bytes 0..9 read, seeked and cut while open; and paths to no disk file, which an open refuses.
TEST(FileStream, ReadsAndSeeksFollowTheFileAndOpenRefusesWhatIsNoDiskFile) {
    convert_test::ScratchDir dir;
    const auto pathOf = [&](const char *name) {
        const std::string path = dir.Path(name);
        return std::u16string(path.begin(), path.end());
    };
    std::ofstream(dir.Path("ten.bin"), std::ios::binary).write("\0\1\2\3\4\5\6\7\10\11", 10);
    ASSERT_EQ(mkfifo(dir.Path("pipe").c_str(), 0600), 0);
    const Step steps[] = {
        {"read 4", false, 4, 0, S_OK, 4},
        {"3 back from the end", true, -3, STREAM_SEEK_END, S_OK, 7},
        {"before the start", true, -8, STREAM_SEEK_CUR, HRESULT(0x80070083), 0},
        {"the high 32 bits are ignored", true, 0x100000002LL, STREAM_SEEK_SET, S_OK, 2},
        {"read from 2", false, 3, 0, S_OK, 3},
        {"past the end", true, 100, STREAM_SEEK_SET, S_OK, 100},
        {"read past the end", false, 4, 0, S_OK, 0},
    };
    const std::u16string path = pathOf("ten.bin");
    const AudioOutOpenParams params = {1, SOURCE_FILE, path.c_str(), 0};
    IStream *stream = CreateMediaSource(&params, nullptr);
    ASSERT_NE(stream, nullptr);
    RunSteps(stream, steps);
    EXPECT_EQ(StatSize(stream), 10u);

    // Cut to 6 bytes while open: nothing found before the 10 it had is a failure, not the end.
    const Step cut[] = {
        {"back to 2", true, 2, STREAM_SEEK_SET, S_OK, 2},
        {"read up to the cut", false, 8, 0, S_OK, 4},
        {"read at the cut", false, 4, 0, HRESULT_FROM_WIN32(ERROR_READ_FAULT), 0},
        {"at the size it had", true, 10, STREAM_SEEK_SET, S_OK, 10},
        {"read there", false, 4, 0, S_OK, 0},
    };
    ASSERT_EQ(truncate(dir.Path("ten.bin").c_str(), 6), 0);
    RunSteps(stream, cut);
    EXPECT_EQ(stream->Release(), 0u);

    // A size of all low bits set is real: the platform says so with a last error of 0.
    std::ofstream(dir.Path("big.bin"));
    ASSERT_EQ(truncate(dir.Path("big.bin").c_str(), 0xFFFFFFFF), 0);
    CFileStream *big = new CFileStream;
    ASSERT_EQ(big->Open(pathOf("big.bin").c_str()), S_OK);
    EXPECT_EQ(StatSize(big), 0xFFFFFFFFu);
    big->Release();

    for (const auto &[name, result] : {std::pair("missing.bin", HRESULT(0x80070002)), std::pair("pipe", E_FAIL)}) {
        SCOPED_TRACE(name);
        const std::u16string refusedPath = pathOf(name);
        CFileStream *refused = new CFileStream;
        EXPECT_EQ(refused->Open(refusedPath.c_str()), result);
        BYTE buffer[1];
        EXPECT_EQ(refused->Read(buffer, 1, nullptr), E_UNEXPECTED);  // no handle is left open
        refused->Release();
        const AudioOutOpenParams refusedParams = {1, SOURCE_FILE, refusedPath.c_str(), 0};
        EXPECT_EQ(CreateMediaSource(&refusedParams, nullptr), nullptr);
    }
}

}  // namespace
