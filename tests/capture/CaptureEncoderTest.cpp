// The capture encoder: the failures that keep a writer from being used, and the running time that
// stamps each capture buffer and starts again at 0 with every stream.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "CaptureTestSupport.h"
#include "capture/CaptureEncoder.h"

namespace {

void WINAPI IgnoreSink(DWORD_PTR, DWORD, const BYTE *, LONG, BOOL) {}

std::u16string SpeechProfile() {
    std::ifstream file(BRIVANE_PROFILE_DIR "/speech.prx");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return std::u16string(text.begin(), text.end());
}

TEST(CaptureEncoder, RefusesToRunWithoutAWriterAndTimesEachStreamFromZero) {
    const WAVEFORMATEX format = PcmFormat(2, 44100, 16);
    const std::vector<BYTE> pcm(8820);
    const std::u16string profile = SpeechProfile();
    CCaptureEncoder encoder;
    EXPECT_EQ(E_FAIL, encoder.Start()) << "never opened";
    EXPECT_EQ(E_FAIL, encoder.Stop()) << "never opened";
    EXPECT_TRUE(FAILED(encoder.Write(pcm.data(), 8820, format))) << "never opened";
    EXPECT_EQ(E_FAIL, encoder.Open(format, nullptr, &IgnoreSink, 0));
    EXPECT_TRUE(FAILED(encoder.Open(format, u"<profile><streamconfig", &IgnoreSink, 0)));
    EXPECT_EQ(E_FAIL, encoder.Open(format, profile.c_str(), &IgnoreSink, 0)) << "the failed open's writer is kept";
    encoder.Close();
    ASSERT_EQ(S_OK, encoder.Open(format, profile.c_str(), &IgnoreSink, 0));
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

}  // namespace
