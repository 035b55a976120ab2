// Whole playbacks as a host sees them: event order, 50 ms blocks, pace, the mask, damaged media, durations.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "PlaybackHost.h"

namespace {

// Decoded data comes in 50 ms blocks rounded up to whole frames; queued data (direct WAV mode) in 50 ms of bytes.
uint32_t BlockBytes(const BrivaneWaveFormat &format, uint32_t mode) {
    const uint32_t bytes = MsToBytes(format, 50), align = format.nBlockAlign;
    return mode == BRIVANE_MODE_WAVE ? bytes : (bytes + align - 1) / align * align;
}

// WAV PCM must be the file's; a decoder's comes close in length, as the reader's own tests pin its samples.
void ExpectSameAudio(const Medium &medium, const std::vector<char> &data, const std::string &what) {
    if (medium.exact) {
        EXPECT_TRUE(data == medium.pcm) << what << ": " << data.size() << " bytes unlike the file's PCM";
        return;
    }
    // FFmpeg's may differ in its last frame; another decoder's in its padding.
    const double slack = kFfmpegDecodes ? 4096.0 * medium.format.nBlockAlign : 0.1 * double(medium.pcm.size());
    EXPECT_NEAR(double(data.size()), double(medium.pcm.size()), slack) << what;
}

// Many players' events queue on the service thread and reach the host late, so pace counts from the play request.
void ExpectWholePlayback(const Play &play, const std::vector<Delivery> &events, uint32_t wholeDuration,
                         Clock::time_point playStarted) {
    const Medium &medium = MediumNamed(play.medium);
    const std::string what = Describe(play) + ": " + Sequence(events);
    ASSERT_EQ("FORMAT PLAYING DATA* END", Sequence(events, false)) << what;
    ASSERT_EQ(sizeof(BrivaneWaveFormat), events[0].payload.size()) << what;
    EXPECT_EQ(0, std::memcmp(&medium.format, events[0].payload.data(), sizeof(BrivaneWaveFormat))) << what;
    const uint32_t block = BlockBytes(medium.format, play.mode);
    for (size_t i = 2; i + 2 < events.size(); ++i)
        ASSERT_EQ(block, events[i].payload.size()) << what << ", event " << i;
    const size_t last = events[events.size() - 2].payload.size();
    EXPECT_TRUE(last > 0 && last <= block && last % medium.format.nBlockAlign == 0)
        << what << ": a last block of " << last;
    ExpectSameAudio(medium, Data(events), what);
    EXPECT_NEAR(double(medium.durationMs), double(wholeDuration), medium.exact ? 0 : kCodecSlackMs) << what;
    // Real-time pace: the end follows the device, which plays the whole medium.
    const auto played = std::chrono::duration_cast<milliseconds>(events.back().at - playStarted).count();
    EXPECT_GE(played, medium.durationMs * 3 / 4) << what;
    EXPECT_LE(played, 2 * medium.durationMs + 4000) << what;
}

enum class Outcome { Plays, Fails, EndsOrFails };

// Damaged media end in failure events, or in an end after what the medium holds; never a crash or a hang.
TEST_F(PlaybackTest, EveryMediumPlaysWholeOrFailsAndTheMaskChoosesWhichEventsReachTheHost) {
    struct Row {
        Play play;
        Outcome outcome;
        uint32_t mask = 0;
        // The masked row's events as text, DATA* standing for any run of data events.
        const char *sequence = nullptr;
    };
    const std::vector<Row> rows = {
        {{"garbage.bin", Source::File, BRIVANE_MODE_DECODE}, Outcome::Fails},
        {{"empty.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::Fails},
        {{"tone.wma", Source::Memory, BRIVANE_MODE_WAVE}, Outcome::Fails},
        {{"folder", Source::File, BRIVANE_MODE_WAVE}, Outcome::Fails},
        {{"half.wma", Source::File, BRIVANE_MODE_DECODE}, Outcome::EndsOrFails},
        {{"lying-long.wav", Source::Memory, BRIVANE_MODE_WAVE}, Outcome::EndsOrFails},
        {{"lying-long.wav", Source::File, BRIVANE_MODE_DECODE}, Outcome::EndsOrFails},
        {{"lying-short.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::EndsOrFails},
        {{"lying-short.wav", Source::Memory, BRIVANE_MODE_DECODE}, Outcome::EndsOrFails},
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, Outcome::Plays},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, Outcome::Plays},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::Plays},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_WAVE}, Outcome::Plays},
        {{"byte.wav", Source::Memory, BRIVANE_MODE_WAVE}, Outcome::Plays},
        {{"tone.mp3", Source::File, BRIVANE_MODE_DECODE}, Outcome::Plays},
        {{"speech.wma", Source::File, BRIVANE_MODE_DECODE}, Outcome::Plays},
        {{"tone.wma", Source::Memory, BRIVANE_MODE_DECODE}, Outcome::Plays, 0x8, "DATA* END"},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::Plays, 0x1, "FORMAT END"},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::Plays, 0xC, "PLAYING DATA* END"},
    };
    std::vector<uint32_t> handles;
    std::vector<Clock::time_point> playStarted;
    for (const Row &row : rows) {
        handles.push_back(host.Open(MediumNamed(row.play.medium), row.play.source, row.play.mode));
        ASSERT_NE(0u, handles.back()) << Describe(row.play);
        if (row.mask) Brivane().AudioOutSetEventMask(handles.back(), row.mask);
        playStarted.push_back(Clock::now());
        EXPECT_EQ(1u, Brivane().AudioOutPlay(handles.back(), 0));
    }
    // The duration probe works beside playbacks and after a failure; WAV is exact, compressed media carry padding.
    ASSERT_TRUE(host.WaitForCode(handles.back(), BRIVANE_EVENT_DATA, Patience(MediumNamed(rows.back().play.medium))));
    const struct {
        std::string path;
        uint32_t expected, tolerance;
    } probes[] = {
        {MediumNamed("tone.wav").path, 1730, 0},
        {MediumNamed("garbage.bin").path, 0, 0},
        {MediumNamed("minutes.wma").path, 205500, kCodecSlackMs},
        {MediaDirectory(), 0, 0},
        {MediumNamed("tone.wma").path, 1730, kCodecSlackMs},
    };
    for (const auto &probe : probes) {
        const uint32_t ms = Brivane().GetWmaFileDuration(Path(probe.path.c_str()).c_str());
        EXPECT_LE(std::abs(double(ms) - double(probe.expected)), double(probe.tolerance)) << probe.path << ": " << ms;
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        EXPECT_TRUE(host.WaitForFinish(handles[i], Patience(MediumNamed(rows[i].play.medium))))
            << Describe(rows[i].play) << ": " << Sequence(host.Of(handles[i]));
        if (rows[i].outcome != Outcome::Fails) continue;
        // A pause and a play again must not find a half-opened player in a state it cannot handle.
        Brivane().AudioOutPlay(handles[i], 1);
        Brivane().AudioOutPlay(handles[i], 0);
    }
    host.Fence();  // anything raised after the end has arrived by now

    std::set<HostThreadId> threads;
    for (size_t i = 0; i < handles.size(); ++i) {
        const Row &row = rows[i];
        const Medium &medium = MediumNamed(row.play.medium);
        const std::vector<Delivery> events = host.Of(handles[i]);
        for (const Delivery &event : events) threads.insert(event.thread);
        const std::string what = Describe(row.play) + " mask " + std::to_string(row.mask) + ": " + Sequence(events);
        if (row.outcome == Outcome::Fails) {
            // One failure for each play and pause, and one more when the open itself failed.
            EXPECT_GE(events.size(), 3u) << what;
            for (const Delivery &event : events) EXPECT_EQ(BRIVANE_EVENT_COMMAND_FAILED, event.code) << what;
        } else if (row.outcome == Outcome::EndsOrFails) {
            if (IndexOf(events, BRIVANE_EVENT_END) == events.size()) continue;
            const std::vector<char> data = Data(events);
            EXPECT_EQ(0u, data.size() % medium.format.nBlockAlign)
                << what << ": " << data.size() << " bytes end in part of a frame";
            EXPECT_TRUE(medium.exact ? IsPrefix(data, medium.pcm) : data.size() <= medium.pcm.size())
                << what << ": " << data.size() << " bytes not from the medium it was made from";
        } else if (row.mask) {
            EXPECT_EQ(row.sequence, Sequence(events, false)) << what;
            if (row.mask & 0x8) ExpectSameAudio(medium, Data(events), what);
        } else {
            ExpectWholePlayback(row.play, events, Brivane().AudioOutGetWholeDuration(handles[i]), playStarted[i]);
        }
    }
    for (uint32_t handle : handles) Brivane().AudioOutClose(handle);
    EXPECT_EQ(1u, threads.size()) << "every event comes on the one service thread";
    EXPECT_EQ(0u, threads.count(CurrentHostThread()));
}

}  // namespace
