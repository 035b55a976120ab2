// WAV-to-WMA encoder judged by ffmpeg at each accepted input shape; one encoder serves many conversions, failed or not.
#include <gtest/gtest.h>

#include "ConvertSupport.h"
#include "files/WmaEncoder.h"

using namespace convert_test;

namespace {

// One WMA frame at 16 kHz: the slack allowed between the source's length and the decoded one.
const double kFrameSamples = 512;

// The length pins the input format the writer is told; the tone itself is judged end to end and by the writer's tests.
TEST(WmaEncoder, WritesEveryShapeAtItsLengthAndEachFailureLeavesItReady) {
    const std::basic_string<WCHAR> profile = SpeechProfile(), badProfile(u"<profile><nothing/></profile>");
    ASSERT_FALSE(profile.empty());
    CWmaEncoder encoder;
    ASSERT_EQ(encoder.Initialise(), S_OK);
    ScratchDir dir;
    auto tone = [&](const char *name, DWORD rate, WORD bits, double seconds) {
        WriteBytes(dir.Path(name), MakeWav(PcmFormat(1, rate, bits), Pcm(Tone(rate, seconds, 1000, 0.5), bits)));
        return dir.Path(name);
    };
    const std::string good = tone("good.wav", 16000, 16, 1.0);
    const std::string wma = dir.Path("out.wma");
    const struct Case {
        const char *what;
        std::string wav, wma;
        const WCHAR *profile;
        HRESULT result;
        double seconds = 0;  // of a good conversion
    } cases[] = {
        {"8 kHz", tone("8k.wav", 8000, 16, 2.0), wma, profile.c_str(), S_OK, 2.0},
        {"no profile text", good, wma, nullptr, E_POINTER},
        {"48 kHz", tone("48k.wav", 48000, 16, 1.5), wma, profile.c_str(), S_OK, 1.5},
        {"a profile the manager refuses", good, wma, badProfile.c_str(), NS_E_INVALIDPROFILE},
        {"8-bit 11.025 kHz", tone("8bit.wav", 11025, 8, 2.0), wma, profile.c_str(), S_OK, 2.0},
        {"a missing file", dir.Path("missing.wav"), wma, profile.c_str(), E_FAIL},
        {"an output the sink cannot create", good, dir.Path("no/dir.wma"), profile.c_str(), NS_E_FILE_OPEN_FAILED},
        {"a good conversion again", good, wma, profile.c_str(), S_OK, 1.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(wma.c_str());
        EXPECT_EQ(encoder.Encode(c.wav.c_str(), c.wma.c_str(), c.profile), c.result);
        if (c.result == S_OK) {
            EXPECT_NEAR(double(DecodeWithFfmpeg(wma, 16000).size()), c.seconds * 16000, kFrameSamples);
        }
    }
    EXPECT_EQ(encoder.Encode(nullptr, wma.c_str(), profile.c_str()), E_INVALIDARG);
}

}  // namespace
