// Capture through the exports as a host meets it: bad input and many cycles.
#include <gtest/gtest.h>

#include "CaptureHost.h"

namespace {

// Bad input ends in failure events and nothing else. Then a hundred instances in turn, each opened,
// started, stopped and closed, so the parked one is reused; every tenth records 32-bit float, which is
// delivered raw and never encoded.
TEST(Capture, BadInputFailsAndAHundredCyclesOfOpenStartStopAndCloseRecord) {
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
    EXPECT_EQ(1u, Brivane().AudioInStart(0x7777, 0)) << "posted for a handle that names nothing";
    Brivane().AudioInStop(0x7777);
    host.Fence();
    EXPECT_TRUE(host.Of(0x7777).empty()) << "nothing for a handle that names nothing";
    for (uint32_t handle : handles) EXPECT_EQ("FF", Letters(host.Of(handle))) << "handle " << handle;

    // Wine's Windows Media writer and profile manager are stubs, so no capture opens there.
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
            EXPECT_EQ(64000u / 20, events[letters.find('R')].payload.size());
        }
    }
    Brivane().AudioOutClose(listener);
    Brivane().UnInitBrivane();
}

}  // namespace
