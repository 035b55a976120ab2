// The capture encoder: the failures that keep a writer from being used, the running time that
// stamps each capture buffer and starts again at 0 with every stream, and the capture format the
// writer takes whatever the profile's input was.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "capture/CaptureEncoder.h"
#include "files/ConvertSupport.h"

using namespace convert_test;

namespace {

void WINAPI KeepStream(DWORD_PTR user, DWORD code, const BYTE *data, LONG length, BOOL) {
    if (code == WRITER_SINK_DATA)
        reinterpret_cast<std::string *>(user)->append(reinterpret_cast<const char *>(data), length);
}

// Seconds of audio the ffmpeg program decodes from the stream.
double DecodedSeconds(const std::string &stream) {
    ScratchDir dir;
    const std::string path = dir.Path("capture.wma");
    std::ofstream(path, std::ios::binary).write(stream.data(), std::streamsize(stream.size()));
    return double(DecodeWithFfmpeg(path, 8000).size()) / 8000;
}

TEST(CaptureEncoder, RefusesToRunWithoutAWriterAndTimesEachStreamFromZero) {
    const WAVEFORMATEX format = PcmFormat(2, 44100, 16);
    const std::vector<BYTE> pcm(8820);
    const std::u16string profile = SpeechProfile();
    CCaptureEncoder encoder;
    EXPECT_EQ(E_FAIL, encoder.Start()) << "never opened";
    EXPECT_EQ(E_FAIL, encoder.Stop()) << "never opened";
    EXPECT_TRUE(FAILED(encoder.Write(pcm.data(), 8820, format))) << "never opened";
    EXPECT_EQ(E_FAIL, encoder.Open(format, nullptr, &IgnoreStream, 0));
    EXPECT_TRUE(FAILED(encoder.Open(format, u"<profile><streamconfig", &IgnoreStream, 0)));
    EXPECT_EQ(E_FAIL, encoder.Open(format, profile.c_str(), &IgnoreStream, 0)) << "the failed open's writer is kept";
    encoder.Close();
    ASSERT_EQ(S_OK, encoder.Open(format, profile.c_str(), &IgnoreStream, 0));
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(S_OK, encoder.Start()) << "run " << run;
        for (int chunk = 0; chunk < 30; ++chunk) ASSERT_EQ(S_OK, encoder.Write(pcm.data(), 8820, format));
        EXPECT_EQ(1500u, encoder.RunningMs()) << "30 buffers of 50 ms";
        ASSERT_EQ(S_OK, encoder.Stop());
        EXPECT_EQ(0u, encoder.RunningMs());
    }
    encoder.Close();
    EXPECT_EQ(E_FAIL, encoder.Start()) << "closed";
}

// The profile's input is 16-bit mono at 16 kHz; a capture in any other PCM must be taken as what it is.
TEST(CaptureEncoder, WriterTakesTheCaptureFormat) {
    const std::u16string profile = SpeechProfile();
    for (const WAVEFORMATEX &format : {PcmFormat(1, 8000, 8), PcmFormat(2, 44100, 16), PcmFormat(1, 16000, 16)}) {
        const DWORD rate = format.nSamplesPerSec;  // a copy: the packed record misaligns its fields
        SCOPED_TRACE(rate);
        std::string stream;
        CCaptureEncoder encoder;
        ASSERT_EQ(S_OK, encoder.Open(format, profile.c_str(), &KeepStream, reinterpret_cast<DWORD_PTR>(&stream)));
        ASSERT_EQ(S_OK, encoder.Start());
        const std::vector<BYTE> silence(format.nAvgBytesPerSec / 20, format.wBitsPerSample == 8 ? 128 : 0);
        for (int chunk = 0; chunk < 40; ++chunk)
            ASSERT_EQ(S_OK, encoder.Write(silence.data(), DWORD(silence.size()), format));
        ASSERT_EQ(S_OK, encoder.Stop());
        EXPECT_NEAR(DecodedSeconds(stream), 2.0, 0.2) << "40 buffers of 50 ms";
    }
}

}  // namespace
