// GetWmaFileDuration as a host uses it: a file's length in milliseconds, 0 for anything that is not a
// playable file, and a probe that keeps working after a failure, all beside a playback.
#include <cmath>

#include "PlaybackHost.h"

namespace {

TEST_F(PlaybackTest, DurationIsTheLengthOfWhatOpensAndZeroOtherwise) {
    const Medium &playing = MediumNamed("tone.wma");
    const uint32_t handle = host.Start(playing, Source::File, BRIVANE_MODE_DECODE);
    ASSERT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_DATA, Patience(playing)));
    const struct {
        std::string path;
        uint32_t expected;
        uint32_t tolerance;  // WAV is exact; compressed media carry their codec's padding
    } cases[] = {
        {MediumNamed("tone.wav").path, 1730, 0},
        {MediumNamed("byte.wav").path, 1200, 0},
        {"/nonexistent/missing.wma", 0, 0},
        {MediumNamed("minutes.wma").path, 205500, kCodecSlackMs},
        {MediumNamed("tone.wma").path, 1730, kCodecSlackMs},
        {MediumNamed("garbage.bin").path, 0, 0},
        {MediumNamed("tone.mp3").path, 1730, kCodecSlackMs},
        {MediaDirectory(), 0, 0},
        {MediumNamed("speech.wma").path, 1730, kCodecSlackMs},
        {MediumNamed("empty.wav").path, 0, 0},
        {MediumNamed("tone.wav").path, 1730, 0},
    };
    for (const auto &c : cases) {
        const uint32_t ms = Brivane().GetWmaFileDuration(Wide(c.path).c_str());
        EXPECT_LE(std::abs(double(ms) - double(c.expected)), double(c.tolerance)) << c.path << ": " << ms << " ms";
    }
    EXPECT_NEAR(double(playing.durationMs), double(Brivane().AudioOutGetWholeDuration(handle)), double(kCodecSlackMs));
    EXPECT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, Patience(playing))) << Sequence(host.Of(handle));
    Brivane().AudioOutClose(handle);
}

}  // namespace
