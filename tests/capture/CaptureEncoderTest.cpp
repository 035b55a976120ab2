// Capture encoder: writer failures, buffer times restarting at 0 each stream, the capture format whatever the profile.
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

double DecodedSeconds(const std::string &stream) {
    ScratchDir dir;
    const std::string path = dir.Path("capture.wma");
    std::ofstream(path, std::ios::binary).write(stream.data(), std::streamsize(stream.size()));
    return double(DecodeWithFfmpeg(path, 8000).size()) / 8000;
}

// The profile's input is 16-bit mono at 16 kHz; a capture in 8-bit PCM at 8 kHz must be taken as what it is.
TEST(CaptureEncoder, RefusesToRunWithoutAWriterTimesEachStreamFromZeroAndTakesTheCaptureFormat) {
    const WAVEFORMATEX format = PcmFormat(1, 8000, 8);
    const std::vector<BYTE> silence(400, 128);  // 50 ms
    const std::u16string profile = SpeechProfile();
    std::string stream;
    CCaptureEncoder encoder;
    EXPECT_EQ(E_FAIL, encoder.Stop()) << "never opened";
    EXPECT_EQ(E_FAIL, encoder.Open(format, nullptr, &IgnoreStream, 0));
    EXPECT_TRUE(FAILED(encoder.Open(format, u"<profile><streamconfig", &IgnoreStream, 0)));
    EXPECT_EQ(E_FAIL, encoder.Open(format, profile.c_str(), &IgnoreStream, 0)) << "the failed open's writer is kept";
    encoder.Close();
    ASSERT_EQ(S_OK, encoder.Open(format, profile.c_str(), &KeepStream, reinterpret_cast<DWORD_PTR>(&stream)));
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        stream.clear();
        ASSERT_EQ(S_OK, encoder.Start());
        for (int chunk = 0; chunk < 30; ++chunk) ASSERT_EQ(S_OK, encoder.Write(silence.data(), 400, format));
        EXPECT_EQ(1500u, encoder.RunningMs()) << "30 buffers of 50 ms";
        ASSERT_EQ(S_OK, encoder.Stop());
        EXPECT_EQ(0u, encoder.RunningMs());
        EXPECT_NEAR(DecodedSeconds(stream), 1.5, 0.2);
    }
    encoder.Close();
}

}  // namespace
