// Whole playbacks as a host sees them: the order of the events, the PCM handed over in 50 ms blocks,
// real-time pace, many players at once, the event mask, and the duration probe beside them.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

#include "PlaybackHost.h"

namespace {

// Decoded data comes in blocks of 50 ms rounded up to whole frames; queued data (direct WAV mode) in
// blocks of 50 ms of bytes.
uint32_t BlockBytes(const BrivaneWaveFormat &format, uint32_t mode) {
    if (mode == BRIVANE_MODE_WAVE) return static_cast<uint32_t>(format.nAvgBytesPerSec * 50 * 0.001 + 0.5);
    const uint32_t bytes = MsToBytes(format, 50);
    return (bytes + format.nBlockAlign - 1) / format.nBlockAlign * format.nBlockAlign;
}

// PCM WAV: the host's PCM is the file's. Compressed media: ffmpeg's decode give or take one decoder frame
// at the end, with 16-bit samples that agree with it; another decoder's only comes close in length.
void ExpectSameAudio(const Medium &medium, const std::vector<char> &data, const std::string &what) {
    if (medium.exact) {
        EXPECT_TRUE(data == medium.pcm) << what << ": " << data.size() << " bytes unlike the file's PCM";
        return;
    }
    if (!kFfmpegDecodes) {
        EXPECT_NEAR(double(data.size()), double(medium.pcm.size()), 0.1 * double(medium.pcm.size())) << what;
        return;
    }
    const size_t slack = 4096u * medium.format.nBlockAlign;
    EXPECT_LE(data.size(), medium.pcm.size() + slack) << what;
    EXPECT_GE(data.size() + slack, medium.pcm.size()) << what;
    const size_t samples = std::min(data.size(), medium.pcm.size()) / 2;
    size_t close = 0;
    for (size_t i = 0; i < samples; ++i) {
        int16_t got, want;
        std::memcpy(&got, &data[2 * i], 2);
        std::memcpy(&want, &medium.pcm[2 * i], 2);
        close += std::abs(got - want) <= 64;
    }
    EXPECT_GE(close, samples - samples / 100) << what << ": samples unlike ffmpeg's decode";
}

// playStarted: when the host asked to play. Events of many players can queue on the service thread
// and reach the host late, so the pace is measured from the request, never from a delivered event.
void ExpectWholePlayback(const Play &play, const std::vector<Delivery> &events, uint32_t wholeDuration,
                         Clock::time_point playStarted) {
    const Medium &medium = MediumNamed(play.medium);
    const std::string what = Describe(play) + ": " + Sequence(events);
    ASSERT_GE(events.size(), 4u) << what;
    ASSERT_EQ(BRIVANE_EVENT_FORMAT, events[0].code) << what;
    ASSERT_EQ(BRIVANE_EVENT_PLAYING, events[1].code) << what;
    ASSERT_EQ(BRIVANE_EVENT_END, events.back().code) << what;
    ASSERT_EQ(sizeof(BrivaneWaveFormat), events[0].payload.size()) << what;
    EXPECT_EQ(0, std::memcmp(&medium.format, events[0].payload.data(), sizeof(BrivaneWaveFormat))) << what;

    const uint32_t block = BlockBytes(medium.format, play.mode);
    for (size_t i = 2; i + 1 < events.size(); ++i) {
        ASSERT_EQ(BRIVANE_EVENT_DATA, events[i].code) << what << ", event " << i;
        const size_t size = events[i].payload.size();
        if (i + 2 < events.size()) {
            ASSERT_EQ(block, size) << what << ", event " << i;
        } else {
            EXPECT_GT(size, 0u) << what;
            EXPECT_LE(size, block) << what;
            EXPECT_EQ(0u, size % medium.format.nBlockAlign) << what << ": the last block cuts a frame";
        }
    }
    ExpectSameAudio(medium, Data(events), what);
    EXPECT_NEAR(double(medium.durationMs), double(wholeDuration), medium.exact ? 0 : kCodecSlackMs) << what;
    // Real-time pace: the end follows the device, which plays the whole medium.
    const auto played = std::chrono::duration_cast<milliseconds>(events.back().at - playStarted).count();
    EXPECT_GE(played, medium.durationMs * 3 / 4) << what;
    EXPECT_LE(played, 2 * medium.durationMs + 4000) << what;
}

// Rows with a mask choose what reaches the host: their events as text, with DATA* for any run of data events.
TEST_F(PlaybackTest, EveryMediumPlaysFormatPlayingDataThenEndAndTheMaskChoosesWhichOfThem) {
    const struct {
        Play play;
        uint32_t mask;
        const char *sequence;
    } cases[] = {
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, 0, nullptr},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, 0, nullptr},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, 0, nullptr},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_WAVE}, 0, nullptr},
        {{"fact.wav", Source::File, BRIVANE_MODE_WAVE}, 0, nullptr},
        {{"fact.wav", Source::Memory, BRIVANE_MODE_DECODE}, 0, nullptr},
        {{"byte.wav", Source::Memory, BRIVANE_MODE_WAVE}, 0, nullptr},
        {{"byte.wav", Source::File, BRIVANE_MODE_WAVE}, 0, nullptr},
        {{"tone.wma", Source::File, BRIVANE_MODE_DECODE}, 0, nullptr},
        {{"tone.wma", Source::Memory, BRIVANE_MODE_DECODE}, 0, nullptr},
        {{"tone.mp3", Source::File, BRIVANE_MODE_DECODE}, 0, nullptr},
        {{"tone.mp3", Source::Memory, BRIVANE_MODE_DECODE}, 0, nullptr},
        {{"speech.wma", Source::File, BRIVANE_MODE_DECODE}, 0, nullptr},
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, 0x8, "DATA* END"},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_WAVE}, 0x8, "DATA* END"},
        {{"tone.wma", Source::Memory, BRIVANE_MODE_DECODE}, 0x8, "DATA* END"},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, 0x1, "FORMAT END"},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, 0x1, "FORMAT END"},
        {{"tone.mp3", Source::File, BRIVANE_MODE_DECODE}, 0x4, "PLAYING END"},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, 0xC, "PLAYING DATA* END"},
    };
    std::vector<uint32_t> handles;
    std::vector<Clock::time_point> playStarted;
    for (const auto &c : cases) {
        handles.push_back(host.Open(MediumNamed(c.play.medium), c.play.source, c.play.mode));
        ASSERT_NE(0u, handles.back()) << Describe(c.play);
        if (c.mask) Brivane().AudioOutSetEventMask(handles.back(), c.mask);
        playStarted.push_back(Clock::now());
        EXPECT_EQ(1u, Brivane().AudioOutPlay(handles.back(), 0));
    }
    // The duration probe beside the playbacks: a playable file's length, 0 for anything else, and working after a
    // failure. WAV is exact; compressed media carry their codec's padding.
    ASSERT_TRUE(host.WaitForCode(handles[0], BRIVANE_EVENT_DATA, Patience(MediumNamed(cases[0].play.medium))));
    const struct {
        std::string path;
        uint32_t expected, tolerance;
    } probes[] = {
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
    for (const auto &probe : probes) {
        const uint32_t ms = Brivane().GetWmaFileDuration(Wide(probe.path).c_str());
        EXPECT_LE(std::abs(double(ms) - double(probe.expected)), double(probe.tolerance)) << probe.path << ": " << ms;
    }
    std::vector<uint32_t> durations;
    for (size_t i = 0; i < handles.size(); ++i) {
        EXPECT_TRUE(host.WaitForFinish(handles[i], Patience(MediumNamed(cases[i].play.medium))))
            << Describe(cases[i].play);
        durations.push_back(Brivane().AudioOutGetWholeDuration(handles[i]));
    }
    host.Fence();  // anything raised after the end has arrived by now

    std::set<HostThreadId> threads;
    for (size_t i = 0; i < handles.size(); ++i) {
        const auto &c = cases[i];
        const Medium &medium = MediumNamed(c.play.medium);
        const std::vector<Delivery> events = host.Of(handles[i]);
        for (const Delivery &event : events) threads.insert(event.thread);
        Brivane().AudioOutClose(handles[i]);
        if (!c.mask) {
            ExpectWholePlayback(c.play, events, durations[i], playStarted[i]);
            continue;
        }
        const std::string what = Describe(c.play) + " mask " + std::to_string(c.mask);
        EXPECT_EQ(c.sequence, Sequence(events, false)) << what << ": " << Sequence(events);
        if (c.mask & 0x8) ExpectSameAudio(medium, Data(events), what);
    }
    EXPECT_EQ(1u, threads.size()) << "every event comes on the one service thread";
    EXPECT_EQ(0u, threads.count(CurrentHostThread()));
}

}  // namespace
