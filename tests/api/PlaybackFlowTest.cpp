// Whole playbacks as a host sees them: event order, 50 ms blocks, pace, the mask, damaged media, reuse, durations.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

#include "PlaybackHost.h"

namespace {

// Decoded data comes in 50 ms blocks rounded up to whole frames; queued data (direct WAV mode) in 50 ms of bytes.
uint32_t BlockBytes(const BrivaneWaveFormat &format, uint32_t mode) {
    if (mode == BRIVANE_MODE_WAVE) return static_cast<uint32_t>(format.nAvgBytesPerSec * 50 * 0.001 + 0.5);
    const uint32_t bytes = MsToBytes(format, 50);
    return (bytes + format.nBlockAlign - 1) / format.nBlockAlign * format.nBlockAlign;
}

// WAV PCM must be the file's; FFmpeg's may differ in its last frame; another decoder's only comes close in length.
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

// Many players' events queue on the service thread and reach the host late, so pace counts from the play request.
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
        {{"garbage.bin", Source::Memory, BRIVANE_MODE_DECODE}, Outcome::Fails},
        {{"empty.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::Fails},
        {{"tone.wma", Source::Memory, BRIVANE_MODE_WAVE}, Outcome::Fails},
        {{"folder", Source::File, BRIVANE_MODE_DECODE}, Outcome::Fails},
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
        {{"tone.wav", Source::Memory, BRIVANE_MODE_WAVE}, Outcome::Plays, 0x8, "DATA* END"},
        {{"tone.wma", Source::Memory, BRIVANE_MODE_DECODE}, Outcome::Plays, 0x8, "DATA* END"},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::Plays, 0x1, "FORMAT END"},
        {{"tone.mp3", Source::File, BRIVANE_MODE_DECODE}, Outcome::Plays, 0x4, "PLAYING END"},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::Plays, 0xC, "PLAYING DATA* END"},
    };
    // A closed player is parked for the next open: the first row reuses this one, and the last does once that fails.
    const Medium &first = MediumNamed("tone.wav");
    const uint32_t played = host.Start(first, Source::Memory, BRIVANE_MODE_DECODE);
    ASSERT_TRUE(host.WaitForCode(played, BRIVANE_EVENT_END, Patience(first)));
    Brivane().AudioOutClose(played);
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
        {MediumNamed("byte.wav").path, 1200, 0},
        {MediumNamed("minutes.wma").path, 205500, kCodecSlackMs},
        {MediumNamed("tone.wma").path, 1730, kCodecSlackMs},
        {MediumNamed("garbage.bin").path, 0, 0},
        {MediumNamed("tone.mp3").path, 1730, kCodecSlackMs},
        {MediaDirectory(), 0, 0},
        {MediumNamed("empty.wav").path, 0, 0},
    };
    for (const auto &probe : probes) {
        const uint32_t ms = Brivane().GetWmaFileDuration(Path(probe.path.c_str()).c_str());
        EXPECT_LE(std::abs(double(ms) - double(probe.expected)), double(probe.tolerance)) << probe.path << ": " << ms;
    }
    std::vector<uint32_t> durations;
    for (size_t i = 0; i < handles.size(); ++i) {
        EXPECT_TRUE(host.WaitForFinish(handles[i], Patience(MediumNamed(rows[i].play.medium))))
            << Describe(rows[i].play) << ": " << Sequence(host.Of(handles[i]));
        durations.push_back(Brivane().AudioOutGetWholeDuration(handles[i]));
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
        Brivane().AudioOutClose(handles[i]);
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
            if (medium.pcm.empty()) {
                EXPECT_LE(data.size(), MediumNamed("tone.wma").pcm.size()) << what;
            } else {
                EXPECT_TRUE(IsPrefix(data, MediumNamed("tone.wav").pcm))
                    << what << ": " << data.size() << " bytes not from the file";
            }
        } else if (row.mask) {
            EXPECT_EQ(row.sequence, Sequence(events, false)) << what;
            if (row.mask & 0x8) ExpectSameAudio(medium, Data(events), what);
        } else {
            ExpectWholePlayback(row.play, events, durations[i], playStarted[i]);
        }
    }
    EXPECT_EQ(1u, threads.size()) << "every event comes on the one service thread";
    EXPECT_EQ(0u, threads.count(CurrentHostThread()));

    // The first row's player, which played a medium and then failed to open its own, opens this one as it is.
    const Medium &next = MediumNamed("speech.wma");
    const uint32_t again = host.Start(next, Source::File, BRIVANE_MODE_DECODE);
    ASSERT_TRUE(host.WaitForCode(again, BRIVANE_EVENT_FORMAT, Patience(next)));
    EXPECT_EQ(0, std::memcmp(&next.format, host.Of(again)[0].payload.data(), sizeof(BrivaneWaveFormat)));
    Brivane().AudioOutClose(again);
}

}  // namespace
