// WAV-to-WMA encoder judged by ffmpeg at each accepted input shape; one encoder serves many conversions, failed or not.
#include <gtest/gtest.h>

#include "ConvertSupport.h"
#include "files/WmaEncoder.h"

using namespace convert_test;

namespace {

// One WMA frame at 16 kHz: the slack allowed between the source's length and the decoded one.
const double kFrameSamples = 512;

TEST(WmaEncoder, WritesTheProfilesStreamAtEveryShapeAndEachFailureLeavesItReady) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::basic_string<WCHAR> profile = SpeechProfile(), badProfile(u"<profile><nothing/></profile>");
    ASSERT_FALSE(profile.empty());
    CWmaEncoder encoder;
    ASSERT_EQ(encoder.Initialise(), S_OK);
    ScratchDir dir;
    auto tone = [&](const char *name, DWORD rate, WORD bits, double seconds, double hz) {
        WriteBytes(dir.Path(name), MakeWav(PcmFormat(1, rate, bits), Pcm(Tone(rate, seconds, hz, 0.5), bits)));
        return dir.Path(name);
    };
    const std::string good = tone("good.wav", 16000, 16, 1.0, 1000);
    const std::string wma = dir.Path("out.wma");
    const struct Case {
        const char *what;
        std::string wav, wma;
        const WCHAR *profile;
        HRESULT result;
        double seconds = 0, hz = 0;  // of the tone a good conversion writes
    } cases[] = {
        {"16 kHz", tone("16k.wav", 16000, 16, 2.5, 1000), wma, profile.c_str(), S_OK, 2.5, 1000},
        {"no profile text", good, wma, nullptr, E_POINTER},
        {"8 kHz", tone("8k.wav", 8000, 16, 2.0, 440), wma, profile.c_str(), S_OK, 2.0, 440},
        {"a profile the manager refuses", good, wma, badProfile.c_str(), NS_E_INVALIDPROFILE},
        {"48 kHz", tone("48k.wav", 48000, 16, 1.5, 1000), wma, profile.c_str(), S_OK, 1.5, 1000},
        {"a missing file", dir.Path("missing.wav"), wma, profile.c_str(), E_FAIL},
        {"8-bit 11.025 kHz", tone("8bit.wav", 11025, 8, 2.0, 700), wma, profile.c_str(), S_OK, 2.0, 700},
        {"an output the sink cannot create", good, dir.Path("no/dir.wma"), profile.c_str(), NS_E_FILE_OPEN_FAILED},
        {"a good conversion again", good, wma, profile.c_str(), S_OK, 1.0, 1000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(wma.c_str());
        EXPECT_EQ(encoder.Encode(c.wav.c_str(), c.wma.c_str(), c.profile), c.result);
        if (c.result != S_OK) continue;
        EXPECT_EQ(convert_test::Run(
                      "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels:format=format_name "
                      "-of csv=p=0 '" +
                      wma + "' | tr '\\n' ,"),
                  "wmav2,16000,1,asf,");
        const std::vector<int16_t> decoded = DecodeWithFfmpeg(wma, 16000);
        EXPECT_NEAR(double(decoded.size()), c.seconds * 16000, kFrameSamples);
        ASSERT_GT(decoded.size(), 8000u);
        // The middle, clear of the codec's start and end.
        const std::vector<int16_t> middle(decoded.begin() + 4000, decoded.end() - 4000);
        EXPECT_NEAR(20 * std::log10(Amplitude(middle, 16000, c.hz) / 0.5), 0.0, 1.5);
        EXPECT_LT(Amplitude(middle, 16000, c.hz * 1.5), 0.05);
    }
    EXPECT_EQ(encoder.Encode(nullptr, wma.c_str(), profile.c_str()), E_INVALIDARG);
}

}  // namespace
