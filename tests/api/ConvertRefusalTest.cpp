// Convert does only WAV to WMA and a medium to WAV: every other kind pair, and a conversion without
// its paths or profile, gives 0 and writes nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "PlaybackHost.h"

namespace {

TEST(ConvertRefusal, OtherKindPairsAndMissingArgumentsDoNothing) {
    const std::string wav = MediumNamed("tone.wav").path, wma = MediumNamed("tone.wma").path;
    const std::string out = testing::TempDir() + "refused.out";
    const HostText profile = SpeechProfile();
    ASSERT_FALSE(profile.empty()) << BRIVANE_SPEECH_PROFILE;
    const uint32_t refused[][2] = {{1, 1}, {2, 2}, {0, 2}, {1, 0}, {3, 1}, {2, 3}};
    for (const auto &pair : refused) {
        SCOPED_TRACE(std::to_string(pair[0]) + ", " + std::to_string(pair[1]));
        std::remove(out.c_str());
        EXPECT_EQ(Brivane().Convert(pair[0], out.c_str(), pair[1], (pair[1] == 1 ? wma : wav).c_str(), profile.c_str()), 0u);
        EXPECT_FALSE(std::ifstream(out).good());
    }
    EXPECT_EQ(Brivane().Convert(BRIVANE_KIND_WAV, nullptr, BRIVANE_KIND_WMA, wma.c_str(), nullptr), 0u);
    // Wine's Windows Media writer is a stub whose file sink ends the process.
    if (RunningUnderWine()) return;
    EXPECT_EQ(Brivane().Convert(BRIVANE_KIND_WMA, out.c_str(), BRIVANE_KIND_WAV, wav.c_str(), nullptr), 0u);
    EXPECT_FALSE(std::ifstream(out).good());
    EXPECT_EQ(Brivane().Convert(BRIVANE_KIND_WMA, nullptr, BRIVANE_KIND_WAV, wav.c_str(), profile.c_str()), 0u);
}

}  // namespace
