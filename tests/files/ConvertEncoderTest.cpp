// The WAV-to-WMA encoder, judged by the ffmpeg programs: what it writes carries the profile's codec
// and format and decodes to the source's length, tone and level at every accepted input shape; one
// encoder serves conversion after conversion, failed ones included.
#include <gtest/gtest.h>

#include "ConvertSupport.h"
#include "files/WmaEncoder.h"

using namespace convert_test;

namespace {

// One WMA frame at 16 kHz: the slack allowed between the source's length and the decoded one.
const double kFrameSamples = 512;

class WmaEncoderTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ASSERT_FALSE(m_profile.empty());
        ASSERT_EQ(m_encoder.Initialise(), S_OK);
    }
    std::string WriteTone(const char *name, DWORD rate, WORD bits, double seconds, double hz) {
        WriteBytes(m_dir.Path(name), MakeWav(PcmFormat(1, rate, bits), Pcm(Tone(rate, seconds, hz, 0.5), bits)));
        return m_dir.Path(name);
    }

    ScratchDir m_dir;
    const std::basic_string<WCHAR> m_profile = SpeechProfile();
    CWmaEncoder m_encoder;
};

TEST_F(WmaEncoderTest, WritesTheProfilesStreamWithTheSourcesLengthToneAndLevel) {
    const struct Case {
        DWORD rate;
        WORD bits;
        double seconds;
        double hz;
    } cases[] = {{16000, 16, 2.5, 1000}, {8000, 16, 2.0, 440}, {48000, 16, 1.5, 1000}, {11025, 8, 2.0, 700}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.bits) + " bits");
        const std::string wav = WriteTone("in.wav", c.rate, c.bits, c.seconds, c.hz);
        const std::string wma = m_dir.Path("out.wma");
        ASSERT_EQ(m_encoder.Encode(wav.c_str(), wma.c_str(), m_profile.c_str()), S_OK);
        EXPECT_EQ(convert_test::Run("ffprobe -v error -show_entries "
                                    "stream=codec_name,sample_rate,channels:format=format_name -of csv=p=0 '" +
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
}

TEST_F(WmaEncoderTest, EveryFailureLeavesTheEncoderReadyForTheNextConversion) {
    const std::string good = WriteTone("good.wav", 16000, 16, 1.0, 1000);
    WriteBytes(m_dir.Path("stereo.wav"), MakeWav(PcmFormat(2, 16000, 16), Bytes(4000, 0)));
    const std::string wma = m_dir.Path("out.wma");
    const std::basic_string<WCHAR> badProfile(u"<profile><nothing/></profile>");
    const struct Case {
        const char *what;
        std::string wav, wma;
        const WCHAR *profile;
        HRESULT result;
    } cases[] = {
        {"a good conversion", good, wma, m_profile.c_str(), S_OK},
        {"no profile text", good, wma, nullptr, E_POINTER},
        {"a profile the manager refuses", good, wma, badProfile.c_str(), NS_E_INVALIDPROFILE},
        {"a stereo file", m_dir.Path("stereo.wav"), wma, m_profile.c_str(), E_FAIL},
        {"a missing file", m_dir.Path("missing.wav"), wma, m_profile.c_str(), E_FAIL},
        {"an output the sink cannot create", good, m_dir.Path("no/dir.wma"), m_profile.c_str(), NS_E_FILE_OPEN_FAILED},
        {"a good conversion again", good, wma, m_profile.c_str(), S_OK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(wma.c_str());
        EXPECT_EQ(m_encoder.Encode(c.wav.c_str(), c.wma.c_str(), c.profile), c.result);
        if (c.result == S_OK) {
            EXPECT_NEAR(double(DecodeWithFfmpeg(wma, 16000).size()), 16000.0, kFrameSamples);
        }
    }
    EXPECT_EQ(m_encoder.Encode(nullptr, wma.c_str(), m_profile.c_str()), E_INVALIDARG);
}

}  // namespace
