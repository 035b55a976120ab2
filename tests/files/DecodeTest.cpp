// The decoder: the cut at the file's duration, and Convert's media-to-WAV output against what ffmpeg decodes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ConvertSupport.h"
#include "api/FileObjects.h"
#include "files/WMVRecompress.h"

namespace {

const QWORD kMs = 10000;

TEST(Decode, SampleRunningPastTheDurationIsCutToWholeSamples) {
    struct Case {
        const char *what;
        QWORD time, duration, fileDuration;
        DWORD length, byteRate;
        WORD bits;
        LONG expected;
    };
    const Case cases[] = {
        {"half a second past", 1500 * kMs, 1000 * kMs, 2000 * kMs, 16000, 16000, 16, 8000},
        {"a second and a half past", 500 * kMs, 2000 * kMs, 1000 * kMs, 32000, 16000, 16, 8000},
        {"an odd cut rounds up to a whole 16-bit sample", 0, 101 * kMs, 100 * kMs, 2323, 23000, 16, 2299},
        {"8-bit samples are cut to the byte", 0, 101 * kMs, 100 * kMs, 1115, 11025, 8, 1104},
        {"under a millisecond past cuts nothing", 0, 100 * kMs + 9999, 100 * kMs, 1600, 16000, 16, 1600},
        {"no sample width cuts nothing", 0, 200 * kMs, 100 * kMs, 1600, 16000, 0, 1600},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, CWMVRecompress::LengthWithinDuration(c.time, c.duration, c.fileDuration, c.length,
                                                                   c.byteRate, c.bits))
            << c.what;
}

std::u16string Utf16(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The reader finds the advanced callback through the status callback: a decode without it never ends.
TEST(Decode, MediaToWavWritesWhatTheFfmpegProgramDecodes) {
    CWMVRecompress decoder;
    IWMReaderCallback *callback = &decoder;
    void *advanced = nullptr;
    ASSERT_EQ(S_OK, callback->QueryInterface(IID_IWMReaderCallbackAdvanced, &advanced));
    EXPECT_EQ(static_cast<IWMReaderCallbackAdvanced *>(&decoder), advanced);

    convert_test::ScratchDir dir;
    auto make = [&](const char *name, const std::string &arguments) {
        EXPECT_EQ(0, std::system(("ffmpeg -nostdin -v error -y " + arguments + " '" + dir.Path(name) + "'").c_str()));
        return dir.Path(name);
    };
    const std::string wma = make("chirp-22k.wma",
                                 "-f lavfi -i aevalsrc='sin(2*PI*(200+300*t)*t)|0.4*sin(2*PI*900*t)':"
                                 "s=22050:d=3 -c:a wmav2 -b:a 64k");
    const Bytes reference = ReadBytes(make("chirp-22k.s16", "-i '" + wma + "' -f s16le"));
    const std::string video = make("video-only.avi", "-f lavfi -i testsrc=d=1:s=64x48:r=10 -c:v mjpeg");
    const std::string garbage = dir.Path("garbage"), target = dir.Path("out.wav");
    std::ofstream(garbage) << std::string(4000, 'x');
    // A target that opened is always finished with its header: the placeholder format when no audio came.
    const Bytes placeholder = Riff({FmtChunk(PcmFormat(1, 22050, 16)), Chunk("data", {})});
    struct Case {
        const char *what;
        std::string source, target;
        bool ok;
        Bytes wav;  // the target's bytes
    };
    const Case cases[] = {
        {"a WMA file", wma, target, true, Riff({FmtChunk(PcmFormat(2, 22050, 16)), Chunk("data", reference)})},
        {"missing source", wma + ".missing", target, false, placeholder},
        {"not a medium", garbage, target, false, placeholder},
        {"no audio stream", video, target, false, placeholder},
        {"target in a missing directory", wma, wma + ".none/out.wav", false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(c.target.c_str());
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.ok, library::ConvertMediaToWav(Utf16(c.target).c_str(), Utf16(c.source).c_str()) >= 0);
        const std::string printed = testing::internal::GetCapturedStdout();
        const Bytes wav = ReadBytes(c.target);
        EXPECT_EQ(c.wav, wav);
        if (c.ok) {
            EXPECT_EQ("Creating the Reader...\nReader Callback: File is opened.\n", printed);
        }
    }
    EXPECT_LT(library::ConvertMediaToWav(Utf16(target).c_str(), nullptr), 0);
}

}  // namespace
