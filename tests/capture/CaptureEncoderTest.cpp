// Capture encoder: no stop without a writer, and each stream's buffer times start again at 0.
#include <gtest/gtest.h>

#include "capture/CaptureEncoder.h"
#include "files/ConvertSupport.h"

using namespace convert_test;

namespace {

TEST(CaptureEncoder, RefusesToStopWithoutAWriterAndTimesEachStreamFromZero) {
    const WAVEFORMATEX format = PcmFormat(1, 8000, 8);
    const std::vector<BYTE> silence(400, 128);  // 50 ms
    const std::u16string profile = SpeechProfile();
    CCaptureEncoder encoder;
    EXPECT_EQ(E_FAIL, encoder.Stop()) << "never opened";
    ASSERT_EQ(S_OK, encoder.Open(format, profile.c_str(), nullptr, 0));
    ASSERT_EQ(S_OK, encoder.Start());
    for (int chunk = 0; chunk < 30; ++chunk) ASSERT_EQ(S_OK, encoder.Write(silence.data(), 400, format));
    EXPECT_EQ(1500u, encoder.RunningMs()) << "30 buffers of 50 ms";
    ASSERT_EQ(S_OK, encoder.Stop());
    EXPECT_EQ(0u, encoder.RunningMs()) << "the next stream starts at 0";
}

}  // namespace
