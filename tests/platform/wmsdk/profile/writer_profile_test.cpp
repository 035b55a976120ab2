// The profile manager: malformed profile text fails without a profile.
#include "writer_support.h"

namespace {

// The text with the first `from` replaced; unchanged (and so still valid) when `from` is missing.
std::string Replace(std::string text, const std::string &from, const std::string &to) {
    const size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(WriterProfile, RefusesMalformedProfiles) {
    const std::string valid = ReadText(kRealWorldProfile);
    IWMProfile *profile = nullptr;
    ASSERT_OK_UNLESS_WINE_STUB(LoadProfile(Wide(valid), &profile));
    profile->Release();

    const size_t open = valid.find("<streamconfig"), close = valid.find("</streamconfig>") + 15;
    const std::string stream = valid.substr(open, close - open);
    const struct {
        const char *what;
        std::string text;
    } cases[] = {
        {"broken XML", valid.substr(0, valid.size() / 2)},
        {"empty text", ""},
        {"not a profile", "<notaprofile/>"},
        {"no stream", "<profile version=\"589824\" name=\"none\"></profile>"},
        {"a video stream only", Replace(valid, "{73647561-", "{73646976-")},
        {"zero rate", Replace(valid, "nSamplesPerSec=\"22050\"", "nSamplesPerSec=\"0\"")},
        {"absurd channels", Replace(valid, "nChannels=\"2\"", "nChannels=\"1000\"")},
        {"a rate that is no number", Replace(valid, "\"22050\"", "\"22O50\"")},
        {"stream number 0", Replace(valid, "streamnumber=\"1\"", "streamnumber=\"0\"")},
        {"broken codec data", Replace(valid, "codecdata=\"0044", "codecdata=\"0Z44")},
        {"two streams with one number", Replace(valid, "</profile>", stream + "</profile>")},
        {"200 000 characters", Replace(valid, "description=\"\"", "description=\"" + std::string(200000, 'x') + "\"")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        profile = reinterpret_cast<IWMProfile *>(1);
        EXPECT_TRUE(FAILED(LoadProfile(Wide(c.text), &profile)));
        EXPECT_EQ(profile, nullptr);
    }
}

}  // namespace
