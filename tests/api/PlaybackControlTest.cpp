// The host steering a playback: pause and resume, seek while playing and while paused, and volume as
// it reaches the output.
#include <cstdlib>
#include <cstring>

#include "PlaybackHost.h"

namespace {

// The bytes from `from` on; none when it lies past the end.
std::vector<char> Slice(const std::vector<char> &bytes, size_t from) {
    return from < bytes.size() ? std::vector<char>(bytes.begin() + long(from), bytes.end()) : std::vector<char>();
}

bool EndsWith(const std::vector<char> &bytes, const std::vector<char> &tail) {
    return bytes.size() >= tail.size() && std::equal(tail.begin(), tail.end(), bytes.end() - long(tail.size()));
}

// A pause holds the data and the play after it goes on where it stopped; a seek while paused moves
// only the start of the play after the end.
TEST_F(PlaybackTest, PauseHoldsTheDataAndASeekWhilePausedMovesOnlyTheNextStart) {
    struct Row {
        Play play;
        bool seek;
    };
    std::vector<Row> rows = {
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, false},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_WAVE}, false},
        {{"tone.wma", Source::File, BRIVANE_MODE_DECODE}, false},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, true},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, true},
    };
    // Wine's reader has no pause or resume: there a paused decode fails with event 6, and only direct WAV mode pauses.
    if (RunningUnderWine()) EraseIf(rows, [](const Row &row) { return row.play.mode == BRIVANE_MODE_DECODE; });
    const uint32_t pauseMs = 800, seekMs = 1200;
    std::vector<uint32_t> handles;
    for (const Row &row : rows) handles.push_back(host.Start(row.play));
    for (size_t i = 0; i < handles.size(); ++i) {
        ASSERT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_DATA, Patience(MediumNamed(rows[i].play.medium)), 8))
            << Describe(rows[i].play);
        Brivane().AudioOutPlay(handles[i], 1);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        EXPECT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_PAUSED, milliseconds(10000))) << Describe(rows[i].play);
        if (rows[i].seek) Brivane().AudioOutSeek(handles[i], seekMs);
    }
    std::this_thread::sleep_for(milliseconds(pauseMs));
    for (uint32_t handle : handles) Brivane().AudioOutPlay(handle, 0);
    for (size_t i = 0; i < handles.size(); ++i) {
        const Medium &medium = MediumNamed(rows[i].play.medium);
        EXPECT_TRUE(host.WaitForFinish(handles[i], Patience(medium))) << Describe(rows[i].play);
        if (!rows[i].seek) continue;
        Brivane().AudioOutPlay(handles[i], 0);  // after the end: from the new start
        EXPECT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_END, Patience(medium), 2)) << Describe(rows[i].play);
    }
    host.Fence();

    for (size_t i = 0; i < handles.size(); ++i) {
        const Medium &medium = MediumNamed(rows[i].play.medium);
        const std::vector<Delivery> events = host.Of(handles[i]);
        const std::string what = Describe(rows[i].play) + ": " + Sequence(events);
        const size_t paused = IndexOf(events, BRIVANE_EVENT_PAUSED),
                     resumed = IndexOf(events, BRIVANE_EVENT_PLAYING, 1);
        const size_t end = IndexOf(events, BRIVANE_EVENT_END), again = IndexOf(events, BRIVANE_EVENT_FORMAT, 1);
        ASSERT_LT(paused, resumed) << what;
        ASSERT_LT(resumed, end) << what;
        EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED)) << what;
        // A block already on its way when the pause came may still arrive; nothing more.
        EXPECT_LE(Data(events, paused).size() - Data(events, resumed).size(), 2u * 8820) << what;
        const std::vector<char> data = Data(std::vector<Delivery>(events.begin(), events.begin() + long(end)));
        if (medium.exact) {
            EXPECT_TRUE(data == medium.pcm) << what << ": the resumed playback is not the whole medium";
        } else {
            EXPECT_NEAR(double(medium.pcm.size()), double(data.size()), 4096.0 * 4) << what;
        }
        EXPECT_GE(std::chrono::duration_cast<milliseconds>(events[end].at - events[1].at).count(),
                  medium.durationMs * 3 / 4 + pauseMs)
            << what;
        if (rows[i].seek) {
            EXPECT_TRUE(end < again && Data(events, again) == Slice(medium.pcm, MsToBytes(medium.format, seekMs)))
                << what << ": the next start is not at the new position";
        }
        Brivane().AudioOutClose(handles[i]);
    }
}

// A seek while playing restarts at the new position. Quick rows are a slider dragged then released: a
// second seek and a pause posted at once after the first land while the player restarts, and act on the
// restarted play.
TEST_F(PlaybackTest, SeekWhilePlayingRestartsAtTheLastSeeksPosition) {
    struct Row {
        Play play;
        int speed;
        bool quick;
    };
    std::vector<Row> rows = {
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, 100, false},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_WAVE}, 100, false},
        {{"tone.mp3", Source::Memory, BRIVANE_MODE_DECODE}, 100, false},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, 150, false},
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, 100, true},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, 150, true},
    };
    // Wine's reader cannot pause a decode.
    if (RunningUnderWine()) EraseIf(rows, [](const Row &row) { return row.quick; });
    const uint32_t seekMs = 900;
    std::vector<uint32_t> handles;
    for (const Row &row : rows)
        handles.push_back(host.Start(row.play, [&](uint32_t h) {
            Brivane().AudioOutSetSpeed(h, row.speed);
            Brivane().AudioOutSetDuration(h, 0, BRIVANE_TO_END);  // a window to the end: none at all
        }));
    for (size_t i = 0; i < handles.size(); ++i) {
        ASSERT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_DATA, Patience(MediumNamed(rows[i].play.medium)),
                                     rows[i].quick ? 1 : 6))
            << Describe(rows[i].play);
        if (rows[i].quick) Brivane().AudioOutSeek(handles[i], 300);
        EXPECT_EQ(1u, Brivane().AudioOutSeek(handles[i], seekMs));
        if (rows[i].quick) Brivane().AudioOutPlay(handles[i], 1);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        if (!rows[i].quick) continue;
        ASSERT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_PAUSED, milliseconds(10000)))
            << Describe(rows[i].play) << ": " << Sequence(host.Of(handles[i]));
        Brivane().AudioOutPlay(handles[i], 0);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        const size_t starts = rows[i].quick ? 3 : 2;
        EXPECT_TRUE(host.WaitUntil(handles[i], Patience(MediumNamed(rows[i].play.medium)),
                                   [&](const std::vector<Delivery> &events) {
                                       return Count(events, BRIVANE_EVENT_FORMAT) >= starts &&
                                              (events.back().code == BRIVANE_EVENT_END ||
                                               events.back().code == BRIVANE_EVENT_COMMAND_FAILED);
                                   }))
            << Describe(rows[i].play) << ": " << Sequence(host.Of(handles[i]));
    }
    host.Fence();

    for (size_t i = 0; i < handles.size(); ++i) {
        const Row &row = rows[i];
        const Medium &medium = MediumNamed(row.play.medium);
        const std::vector<Delivery> events = host.Of(handles[i]);
        const std::string what = Describe(row.play) + " speed " + std::to_string(row.speed) +
                                 (row.quick ? " quick: " : ": ") + Sequence(events);
        const size_t restart = IndexOf(events, BRIVANE_EVENT_FORMAT, row.quick ? 2 : 1);
        ASSERT_LT(restart + 2, events.size()) << what;
        EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_FORMAT, row.quick ? 3 : 2)) << what;
        EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED)) << what;
        if (row.quick) {
            EXPECT_LT(restart, IndexOf(events, BRIVANE_EVENT_PAUSED)) << what;
        } else {
            EXPECT_EQ(BRIVANE_EVENT_PLAYING, events[restart + 1].code) << what;
        }
        EXPECT_EQ(BRIVANE_EVENT_END, events.back().code) << what;
        // After the restart: the rest of the medium from the last seek's position, after at most a block (and a
        // decoder's sample) left from before it.
        const std::vector<char> after = Data(events, restart);
        const std::vector<char> tail = Slice(medium.pcm, MsToBytes(medium.format, seekMs));
        EXPECT_TRUE(!medium.exact || EndsWith(after, tail)) << what << ": " << after.size() << " bytes after the seek";
        EXPECT_GE(after.size() + 4096 * 4, tail.size()) << what;
        EXPECT_LE(after.size(), tail.size() + (row.quick ? 8820 : 13230 + 4096 * 4)) << what;
        Brivane().AudioOutClose(handles[i]);
    }
}

TEST_F(PlaybackTest, VolumeScalesWhatTheDeviceOutputs) {
    const Medium &medium = MediumNamed("long.wav");
    // No device yet: accepted, and nothing lasts.
    const uint32_t handle = host.Start(medium, Source::File, BRIVANE_MODE_DECODE,
                                       [](uint32_t h) { EXPECT_EQ(1u, Brivane().AudioOutSetVolume(h, 30)); });
    ASSERT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_PLAYING, Patience(medium)));
    std::this_thread::sleep_for(milliseconds(700));
    EXPECT_EQ(1u, Brivane().AudioOutSetVolume(handle, 50));
    EXPECT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, Patience(medium)));
    Brivane().AudioOutClose(handle);
    host.Fence();
    const std::vector<Delivery> events = host.Of(handle);
    EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED)) << Sequence(events);

    const char *disk = DiskAudioOutput();
    if (!disk) GTEST_SKIP() << "the output's level needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILE)";
    const std::vector<char> output = ReadFile(disk);
    // The chirp's first frame is silent and its second is not: that places the medium in the output.
    const size_t start = Listen(output).first - 1;
    const size_t samples = medium.pcm.size() / 2;
    ASSERT_GE(output.size(), 4 * start + medium.pcm.size());
    auto sample = [](const std::vector<char> &bytes, size_t at) {
        int16_t value;
        std::memcpy(&value, &bytes[2 * at], 2);
        return int(value);
    };
    const size_t fullUntil = samples * 100 / medium.durationMs;  // the first 100 ms
    for (size_t i = 0; i < fullUntil; ++i)
        ASSERT_LE(std::abs(sample(output, 2 * start + i) - sample(medium.pcm, i)), 1) << "full level at sample " << i;
    for (size_t i = samples - samples / 3; i < samples; ++i)  // the last second
        ASSERT_LE(std::abs(sample(output, 2 * start + i) - sample(medium.pcm, i) * 0x7FFF / 0xFFFF), 2)
            << "half level at sample " << i;
}

}  // namespace
