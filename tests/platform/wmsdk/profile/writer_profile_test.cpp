// The profile manager: malformed profile text fails without a profile, and a profile's stream
// copies change it only once handed back.
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
    IWMProfileManager *manager = nullptr;
    ASSERT_EQ(WMCreateProfileManager(&manager), S_OK);
    EXPECT_TRUE(FAILED(manager->LoadProfileByData(nullptr, &profile)));
    EXPECT_TRUE(FAILED(manager->LoadProfileByData(Wide(valid).c_str(), nullptr)));
    manager->Release();
}

// The writer reads a profile through its stream copies: a copy changes the profile only once it
// is handed back, and every setting survives the trip.
TEST(WriterProfile, StreamCopiesChangeTheProfileOnlyWhenHandedBack) {
    IWMProfile *profile = nullptr;
    ASSERT_OK_UNLESS_WINE_STUB(LoadProfile(Wide(ReadText(kRealWorldProfile)), &profile));
    DWORD length = 0;
    ASSERT_EQ(profile->GetName(nullptr, &length), S_OK);
    std::vector<WCHAR> name(length, 'x');
    DWORD tooShort = length - 1;
    EXPECT_EQ(profile->GetName(name.data(), &tooShort), ASF_E_BUFFERTOOSMALL);
    ASSERT_EQ(profile->GetName(name.data(), &length), S_OK);
    EXPECT_TRUE(WideString(name.data()) == Wide("Voice quality audio (CBR)"));

    IWMStreamConfig *copy = nullptr, *again = nullptr;
    ASSERT_EQ(profile->GetStream(0, &copy), S_OK);
    WORD number = 0;
    EXPECT_EQ(copy->GetStreamNumber(&number), S_OK);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(copy->SetBitrate(48000), S_OK);
    EXPECT_EQ(copy->SetConnectionName(Wide("Microphone").c_str()), S_OK);
    DWORD bitrate = 0;
    ASSERT_EQ(profile->GetStream(0, &again), S_OK);
    EXPECT_EQ(again->GetBitrate(&bitrate), S_OK);
    EXPECT_EQ(bitrate, 32024u) << "a copy changed the profile";
    again->Release();

    EXPECT_EQ(profile->ReconfigStream(copy), S_OK);
    ASSERT_EQ(profile->GetStreamByNumber(1, &again), S_OK);
    WCHAR connection[32] = {};
    WORD connectionLength = 32;
    EXPECT_EQ(again->GetBitrate(&bitrate), S_OK);
    EXPECT_EQ(bitrate, 48000u);
    EXPECT_EQ(again->GetConnectionName(connection, &connectionLength), S_OK);
    EXPECT_TRUE(WideString(connection) == Wide("Microphone"));
    again->Release();

    DWORD count = 0;
    EXPECT_EQ(profile->RemoveStreamByNumber(1), S_OK);
    EXPECT_EQ(profile->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(FAILED(profile->GetStreamByNumber(1, &again))) << "no stream of that number";
    EXPECT_EQ(profile->AddStream(copy), S_OK);
    EXPECT_TRUE(FAILED(profile->AddStream(copy))) << "two streams with one number";
    EXPECT_EQ(profile->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    copy->Release();
    profile->Release();
}

}  // namespace
