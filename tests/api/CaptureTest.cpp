// Capture as a host meets it; SDL's disk driver reads SDL_DISKAUDIOFILEIN as a device opens, so cases write it first.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "PcmLog.h"
#include "PlaybackHost.h"

namespace {

// One letter per event: B begin, S stream begins, R raw PCM, H header bytes, D data unit, E end, F failure.
char Letter(const Delivery &e) {
    switch (e.code) {
    case BRIVANE_REC_EVENT_BEGIN: return 'B';
    case BRIVANE_REC_EVENT_STREAM_BEGIN: return 'S';
    case BRIVANE_REC_EVENT_END: return 'E';
    case BRIVANE_REC_EVENT_DATA: return e.arg1 == 1 ? 'R' : e.arg2 == 0 ? 'H' : 'D';
    case BRIVANE_EVENT_COMMAND_FAILED: return 'F';
    default: return '?';
    }
}

std::string Letters(const std::vector<Delivery> &events) {
    std::string letters;
    for (const Delivery &e : events) letters += Letter(e);
    return letters;
}

// The events of one instance, once `count` of them carry the letter or 10 s have passed.
std::vector<Delivery> Captured(PlaybackHost &host, uint32_t handle, char letter, size_t count = 1) {
    host.WaitUntil(handle, milliseconds(10000), [&](const std::vector<Delivery> &events) {
        const std::string letters = Letters(events);
        return size_t(std::count(letters.begin(), letters.end(), letter)) >= count;
    });
    return host.Of(handle);
}

std::vector<char> Joined(const std::vector<Delivery> &events, const std::string &letters) {
    std::vector<char> joined;
    for (const Delivery &e : events)
        if (letters.find(Letter(e)) != std::string::npos)
            joined.insert(joined.end(), e.payload.begin(), e.payload.end());
    return joined;
}

const BrivaneWaveFormat kStereo44k = {1, 2, 44100, 176400, 4, 16, 0};

// The second run outlasts the device's 100 fresh buffers, so the stopped ones must circulate again.
void RecordTwice(PlaybackHost &host, const char *input, const HostText &profile) {
    const std::vector<char> pcm = NoiseWave(2, 44100, 16, 1200).pcm;
    if (input) {
        ASSERT_TRUE(Rewrite(input, pcm));
    }
    const uint32_t handle =
        Brivane().AudioInOpen(1, &kStereo44k, profile.c_str(), &PlaybackHost::OnCapture, host.User());
    ASSERT_NE(0u, handle);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const size_t from = host.Of(handle).size();
        ASSERT_EQ(1u, Brivane().AudioInStart(handle, 0));
        const size_t buffers = run == 1 ? pcm.size() / 8820 + 1 : 120;
        const std::string recorded = Letters(Captured(host, handle, 'R', buffers));
        ASSERT_GE(size_t(std::count(recorded.begin(), recorded.end(), 'R')), buffers);
        ASSERT_EQ(1u, Brivane().AudioInStop(handle));
        const std::vector<Delivery> all = Captured(host, handle, 'E', run);
        const std::vector<Delivery> events(all.begin() + long(from), all.end());
        const std::string letters = Letters(events);
        ASSERT_EQ(0u, letters.find("BS")) << letters;
        EXPECT_EQ(std::vector<char>(reinterpret_cast<const char *>(&kStereo44k),
                                    reinterpret_cast<const char *>(&kStereo44k) + 18),
                  events[0].payload);
        EXPECT_LT(letters.find_last_of('H'), letters.find('R')) << letters;
        EXPECT_NE(std::string::npos, letters.find('D')) << letters;
        EXPECT_EQ(letters.size() - 1, letters.find('E')) << letters;
        for (const Delivery &e : events) {
            // Raw PCM and header bytes carry 0, everything else -2.
            EXPECT_EQ(Letter(e) == 'R' || Letter(e) == 'H' ? 0u : BRIVANE_REC_NOT_HEADER, e.arg2) << Letter(e);
            EXPECT_EQ(Letter(e) == 'R' ? 1u : 0u, e.arg1) << Letter(e);
            EXPECT_EQ(events[0].thread, e.thread) << "every event on the service thread";
        }
        EXPECT_NE(CurrentHostThread(), events[0].thread);
        const std::vector<char> raw = Joined(events, "R");
        if (run == 1 && input) {
            ASSERT_GE(raw.size(), pcm.size());
            EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), raw.begin())) << "the input's bytes, in order";
        }
        // The encoded stream as the library's own reader decodes it: the profile's rate and channels.
        const std::string wma = WriteTemp("capture-" + std::to_string(run) + ".wma", Joined(events, "HD"));
        PcmLog decoded;
        ASSERT_EQ(
            1u, Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, wma.c_str(), 0, 0, &PcmLog::OnPcm, decoded.User(), nullptr));
        EXPECT_EQ(16000u, decoded.format.nSamplesPerSec);
        EXPECT_EQ(1u, decoded.format.nChannels);
        EXPECT_NEAR(raw.size() / 176400.0, decoded.Seconds(), 0.15) << "decoded length against the recorded time";
    }
    Brivane().AudioInClose(handle);
}

// Bad input's devices must be released, or one reads on from its disk file; a hundred cycles reuse the parked instance.
TEST(Capture, BadInputFailsThenOneInstanceRecordsTwiceAndAHundredCyclesRecord) {
    const char *input = DiskAudioFile("SDL_DISKAUDIOFILEIN");
    if (input) {
        ASSERT_TRUE(Rewrite(input, std::vector<char>(88200)));
    }
    ASSERT_EQ(1u, Brivane().InitBrivane());
    PlaybackHost host;
    const uint32_t listener = host.OpenMissing();
    const HostText profile = SpeechProfile();
    ASSERT_FALSE(profile.empty()) << BRIVANE_SPEECH_PROFILE;
    const struct Case {
        const char *what;
        BrivaneWaveFormat format;
        const BRIVANE_WCHAR *profile;
    } cases[] = {
        {"byte rate of 20", {1, 1, 16000, 20, 2, 16, 0}, profile.c_str()},
        {"rate 0", {1, 1, 0, 0, 2, 16, 0}, profile.c_str()},
        {"rate 4 GHz", {1, 1, 4000000000u, 4000000000u, 2, 16, 0}, profile.c_str()},
        {"no channels", {1, 0, 16000, 0, 0, 16, 0}, profile.c_str()},
        {"1000 channels", {1, 1000, 16000, 32000000, 2000, 16, 0}, profile.c_str()},
        {"profile that does not parse", kStereo44k, Path("<profile version=\"589824\"><streamconfig").c_str()},
        {"no profile", kStereo44k, nullptr},
    };
    std::vector<uint32_t> handles;
    for (const Case &c : cases) {
        // Wine's wave input spends tens of seconds before it refuses such a rate; Windows refuses it at once.
        if (c.format.nSamplesPerSec == 4000000000u && RunningUnderWine()) continue;
        const uint32_t handle = Brivane().AudioInOpen(1, &c.format, c.profile, &PlaybackHost::OnCapture, host.User());
        handles.push_back(handle);
        ASSERT_NE(0u, handle) << c.what;
        EXPECT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_COMMAND_FAILED, milliseconds(5000))) << c.what;
        EXPECT_EQ(1u, Brivane().AudioInStart(handle, 0));
        host.WaitForCode(handle, BRIVANE_EVENT_COMMAND_FAILED, milliseconds(5000), 2);
        Brivane().AudioInClose(handle);
        Brivane().AudioInClose(handle);
    }
    host.Fence();
    for (uint32_t handle : handles) EXPECT_EQ("FF", Letters(host.Of(handle))) << "handle " << handle;

    // Wine's Windows Media writer and profile manager are stubs, so no capture opens there.
    if (!RunningUnderWine()) RecordTwice(host, input, profile);
    const BrivaneWaveFormat monoFloat = {3, 1, 16000, 64000, 4, 32, 0};
    handles.clear();
    for (int i = 0; i < (RunningUnderWine() ? 0 : 100); ++i) {
        const bool raw = i % 10 == 9;
        const uint32_t handle = Brivane().AudioInOpen(1, raw ? &monoFloat : &kStereo44k, profile.c_str(),
                                                      &PlaybackHost::OnCapture, host.User());
        ASSERT_NE(0u, handle) << "cycle " << i;
        Brivane().AudioInStart(handle, 0);
        // A close posted before the open ran would find the entry closing and skip the open.
        Captured(host, handle, raw ? 'R' : 'S', raw ? 3 : 1);
        if (i % 2)
            Brivane().AudioInStop(handle);
        else
            Brivane().AudioInStart(handle, 1);
        Brivane().AudioInClose(handle);
        handles.push_back(handle);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        const std::vector<Delivery> events = Captured(host, handles[i], 'E');
        const std::string letters = Letters(events);
        EXPECT_EQ(0u, letters.find("BSH")) << i << ": " << letters;
        EXPECT_EQ(letters.size() - 1, letters.find('E')) << i << ": " << letters;
        EXPECT_EQ(std::string::npos, letters.find('F')) << i << ": " << letters;
        if (i % 10 == 9) {
            EXPECT_EQ(std::string::npos, letters.find('D')) << "float capture encoded: " << letters;
        }
    }
    Brivane().AudioOutClose(listener);
    Brivane().UnInitBrivane();
}

}  // namespace
