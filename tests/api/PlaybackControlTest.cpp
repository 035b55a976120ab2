// The host steering a playback: pause and resume, seek while playing and while paused, the play
// window, speed without change of pitch, and volume as it reaches the output.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "PlaybackHost.h"

namespace {

std::vector<char> Slice(const std::vector<char> &bytes, size_t from, size_t to = SIZE_MAX) {
    to = std::min(to, bytes.size());
    return from < to ? std::vector<char>(bytes.begin() + long(from), bytes.begin() + long(to)) : std::vector<char>();
}

bool EndsWith(const std::vector<char> &bytes, const std::vector<char> &tail) {
    return bytes.size() >= tail.size() && std::equal(tail.begin(), tail.end(), bytes.end() - long(tail.size()));
}

long long Between(const Delivery &from, const Delivery &to) {
    return std::chrono::duration_cast<milliseconds>(to.at - from.at).count();
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
    if (RunningUnderWine())
        rows.erase(std::remove_if(rows.begin(), rows.end(),
                                  [](const Row &row) { return row.play.mode == BRIVANE_MODE_DECODE; }),
                   rows.end());
    std::vector<Play> plays;
    std::vector<bool> seeks;
    for (const Row &row : rows) {
        plays.push_back(row.play);
        seeks.push_back(row.seek);
    }
    const uint32_t pauseMs = 800, seekMs = 1200;
    std::vector<uint32_t> handles;
    for (const Play &play : plays) handles.push_back(host.Start(play));
    for (size_t i = 0; i < handles.size(); ++i) {
        ASSERT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_DATA, Patience(MediumNamed(plays[i].medium)), 8))
            << Describe(plays[i]);
        Brivane().AudioOutPlay(handles[i], 1);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        EXPECT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_PAUSED, milliseconds(10000))) << Describe(plays[i]);
        if (seeks[i]) Brivane().AudioOutSeek(handles[i], seekMs);
    }
    std::this_thread::sleep_for(milliseconds(pauseMs));
    for (uint32_t handle : handles) Brivane().AudioOutPlay(handle, 0);
    for (size_t i = 0; i < handles.size(); ++i) {
        const Medium &medium = MediumNamed(plays[i].medium);
        EXPECT_TRUE(host.WaitForFinish(handles[i], Patience(medium))) << Describe(plays[i]);
        if (!seeks[i]) continue;
        Brivane().AudioOutPlay(handles[i], 0);  // after the end: from the new start
        EXPECT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_END, Patience(medium), 2)) << Describe(plays[i]);
    }
    host.Fence();

    for (size_t i = 0; i < handles.size(); ++i) {
        const Medium &medium = MediumNamed(plays[i].medium);
        const std::vector<Delivery> events = host.Of(handles[i]);
        const std::string what = Describe(plays[i]) + ": " + Sequence(events);
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
        EXPECT_GE(Between(events[1], events[end]), medium.durationMs * 3 / 4 + pauseMs) << what;
        if (seeks[i]) {
            EXPECT_TRUE(end < again && Data(events, again) == Slice(medium.pcm, MsToBytes(medium.format, seekMs)))
                << what << ": the next start is not at the new position";
        }
        Brivane().AudioOutClose(handles[i]);
    }
}

TEST_F(PlaybackTest, SeekWhilePlayingRestartsAtTheNewPosition) {
    const struct {
        Play play;
        int speed;
    } cases[] = {
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, 100},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_WAVE}, 100},
        {{"tone.mp3", Source::Memory, BRIVANE_MODE_DECODE}, 100},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, 150},
    };
    const uint32_t seekMs = 1000;
    std::vector<uint32_t> handles;
    for (const auto &c : cases) {
        handles.push_back(host.Start(c.play, [&](uint32_t h) { Brivane().AudioOutSetSpeed(h, c.speed); }));
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        ASSERT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_DATA, Patience(MediumNamed(cases[i].play.medium)), 6))
            << Describe(cases[i].play);
        EXPECT_EQ(1u, Brivane().AudioOutSeek(handles[i], seekMs));
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        const milliseconds patience = Patience(MediumNamed(cases[i].play.medium));
        EXPECT_TRUE(host.WaitUntil(
            handles[i], patience,
            [](const std::vector<Delivery> &events) {
                return !events.empty() && IndexOf(events, BRIVANE_EVENT_FORMAT, 1) < events.size() &&
                       (events.back().code == BRIVANE_EVENT_END || events.back().code == BRIVANE_EVENT_COMMAND_FAILED);
            }))
            << Describe(cases[i].play) << ": " << Sequence(host.Of(handles[i]));
    }
    host.Fence();

    for (size_t i = 0; i < handles.size(); ++i) {
        const Medium &medium = MediumNamed(cases[i].play.medium);
        const std::vector<Delivery> events = host.Of(handles[i]);
        const std::string what =
            Describe(cases[i].play) + " speed " + std::to_string(cases[i].speed) + ": " + Sequence(events);
        const size_t restart = IndexOf(events, BRIVANE_EVENT_FORMAT, 1);
        ASSERT_LT(restart + 2, events.size()) << what;
        EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED)) << what;
        EXPECT_EQ(BRIVANE_EVENT_PLAYING, events[restart + 1].code) << what;
        EXPECT_EQ(BRIVANE_EVENT_END, events.back().code) << what;
        // After the restart: at most a block and a decoded sample from before the seek, then the rest
        // of the medium from the new position.
        const std::vector<char> after = Data(events, restart);
        const std::vector<char> tail = Slice(medium.pcm, MsToBytes(medium.format, seekMs));
        if (medium.exact) {
            EXPECT_TRUE(EndsWith(after, tail)) << what << ": " << after.size() << " bytes after the seek";
        }
        EXPECT_GE(after.size() + 4096 * 4, tail.size()) << what;
        EXPECT_LE(after.size(), tail.size() + 13230 + 4096 * 4) << what;
        Brivane().AudioOutClose(handles[i]);
    }
}

// A slider dragged then released: a second seek and a pause posted at once after a seek while playing
// land while the player restarts, and act on the restarted play.
TEST_F(PlaybackTest, ASeekAndAPauseRightAfterASeekActOnTheRestartedPlay) {
    if (RunningUnderWine()) GTEST_SKIP() << "Wine's reader cannot pause a decode";
    const struct {
        Play play;
        int speed;
    } cases[] = {
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, 100},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, 150},
    };
    const uint32_t lastMs = 900;
    for (const auto &c : cases) {
        const Medium &medium = MediumNamed(c.play.medium);
        const uint32_t handle = host.Start(c.play, [&](uint32_t h) { Brivane().AudioOutSetSpeed(h, c.speed); });
        ASSERT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_DATA, Patience(medium))) << Describe(c.play);
        Brivane().AudioOutSeek(handle, 300);
        Brivane().AudioOutSeek(handle, lastMs);
        Brivane().AudioOutPlay(handle, 1);
        const std::string what = Describe(c.play) + " speed " + std::to_string(c.speed);
        ASSERT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_PAUSED, milliseconds(10000)))
            << what << ": " << Sequence(host.Of(handle));
        Brivane().AudioOutPlay(handle, 0);
        ASSERT_TRUE(host.WaitForFinish(handle, Patience(medium))) << what << ": " << Sequence(host.Of(handle));
        host.Fence();

        const std::vector<Delivery> events = host.Of(handle);
        const std::string all = what + ": " + Sequence(events);
        const size_t restart = IndexOf(events, BRIVANE_EVENT_FORMAT, 2);
        EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_FORMAT, 3)) << all;
        EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED)) << all;
        EXPECT_LT(restart, IndexOf(events, BRIVANE_EVENT_PAUSED)) << all;
        EXPECT_EQ(BRIVANE_EVENT_END, events.back().code) << all;
        // From the last seek's position to the end; a direct block may begin with what was left of one before it.
        const std::vector<char> after = Data(events, restart);
        const std::vector<char> tail = Slice(medium.pcm, MsToBytes(medium.format, lastMs));
        EXPECT_TRUE(EndsWith(after, tail)) << all << ": " << after.size() << " bytes after the last seek";
        EXPECT_LE(after.size(), tail.size() + 8820) << all;
        Brivane().AudioOutClose(handle);
    }
}

TEST_F(PlaybackTest, PlayWindowGivesItsLengthOfDataFilledWithSilencePastTheEnd) {
    const struct {
        Play play;
        uint32_t start, end;
    } cases[] = {
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, 500, 1500},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_WAVE}, 500, 1500},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, 1000, 3500},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, 1000, 3500},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, 1200, BRIVANE_TO_END},
        {{"tone.wma", Source::Memory, BRIVANE_MODE_DECODE}, 300, 1300},
    };
    std::vector<uint32_t> handles;
    for (const auto &c : cases) {
        handles.push_back(host.Start(c.play, [&](uint32_t handle) {
            Brivane().AudioOutSetDuration(handle, 2000, 1000);  // refused: the start lies after the end
            Brivane().AudioOutSetDuration(handle, c.start, c.end);
        }));
    }
    for (size_t i = 0; i < handles.size(); ++i)
        EXPECT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_END, Patience(MediumNamed(cases[i].play.medium))))
            << Describe(cases[i].play);
    host.Fence();
    for (uint32_t handle : handles) Brivane().AudioOutClose(handle);

    for (size_t i = 0; i < handles.size(); ++i) {
        const auto &c = cases[i];
        const Medium &medium = MediumNamed(c.play.medium);
        const std::vector<Delivery> events = host.Of(handles[i]);
        const std::string what = Describe(c.play) + " window " + std::to_string(c.start) + ".." +
                                 std::to_string(c.end) + ": " + Sequence(events);
        ASSERT_GE(events.size(), 4u) << what;
        EXPECT_EQ(BRIVANE_EVENT_COMMAND_FAILED, events[0].code) << what;
        EXPECT_EQ(BRIVANE_EVENT_FORMAT, events[1].code) << what;
        EXPECT_EQ(BRIVANE_EVENT_END, events.back().code) << what;

        const std::vector<char> data = Data(events);
        const std::vector<char> audio = Slice(medium.pcm, MsToBytes(medium.format, c.start),
                                              c.end == BRIVANE_TO_END ? SIZE_MAX : MsToBytes(medium.format, c.end));
        if (c.end == BRIVANE_TO_END) {
            EXPECT_TRUE(data == audio) << what << ": " << data.size() << " bytes";
            continue;
        }
        // The window's length and a millisecond or two, silence where the medium ended early.
        const uint32_t length = MsToBytes(medium.format, c.end - c.start);
        EXPECT_GE(data.size(), MsToBytes(medium.format, c.end - c.start + 1)) << what;
        EXPECT_LE(data.size(), MsToBytes(medium.format, c.end - c.start + 3)) << what;
        if (!medium.exact) continue;
        EXPECT_TRUE(Slice(data, 0, audio.size()) == audio) << what << ": the window's audio differs";
        const std::vector<char> fill = Slice(data, audio.size(), length);
        EXPECT_EQ(fill.size(), size_t(std::count(fill.begin(), fill.end(), 0))) << what << ": the fill is not silence";
    }
}

TEST_F(PlaybackTest, SpeedChangesThePaceOfDataAndOutputButNotTheData) {
    const struct {
        Play play;
        int speed;
    } cases[] = {
        {{"long.wav", Source::File, BRIVANE_MODE_DECODE}, 150},
        {{"long.wav", Source::Memory, BRIVANE_MODE_DECODE}, 70},
        {{"long.wav", Source::File, BRIVANE_MODE_WAVE}, 150},
    };
    const char *disk = DiskAudioOutput();
    for (const auto &c : cases) {
        const Medium &medium = MediumNamed(c.play.medium);
        const std::string what = Describe(c.play) + " speed " + std::to_string(c.speed);
        const uint32_t handle =
            host.Start(c.play, [&](uint32_t h) { EXPECT_EQ(1u, Brivane().AudioOutSetSpeed(h, c.speed)); });
        EXPECT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, 2 * Patience(medium))) << what;
        Brivane().AudioOutClose(handle);
        host.Fence();  // the device is closed, so the disk driver's file is complete

        const std::vector<Delivery> events = host.Of(handle);
        ASSERT_GE(events.size(), 4u) << what << ": " << Sequence(events);
        const double scaled = medium.durationMs * 100.0 / c.speed;
        EXPECT_TRUE(Data(events) == medium.pcm)
            << what << ": the host gets the medium's PCM unchanged, " << Sequence(events);
        const uint32_t block =
            static_cast<uint32_t>(medium.format.nAvgBytesPerSec * 50 * (c.speed / 100.0) * 0.001 + 0.5);
        const size_t firstData = IndexOf(events, BRIVANE_EVENT_DATA);
        ASSERT_LT(firstData, events.size()) << what;
        // A tick that finds no whole block queued hands over what there is, so only most blocks are whole.
        std::map<size_t, size_t> sizes;
        for (const Delivery &event : events) sizes[event.payload.size()] += event.code == BRIVANE_EVENT_DATA;
        const auto common = std::max_element(sizes.begin(), sizes.end(),
                                             [](const auto &a, const auto &b) { return a.second < b.second; });
        EXPECT_EQ(block, common->first) << what;
        const size_t lastData = events.size() - 2;
        const double dataSpan = double(Between(events[firstData], events[lastData]));
        EXPECT_GE(dataSpan, 0.8 * scaled - 100) << what;
        EXPECT_LE(dataSpan, 1.25 * scaled + 200) << what;

        if (!disk) continue;
        const Sound sound = Listen(ReadFile(disk));
        const double outputMs = (sound.last - sound.first) * 1000.0 / medium.format.nSamplesPerSec;
        EXPECT_NEAR(scaled, outputMs, 0.1 * scaled + 100) << what << ": the output lasts " << outputMs << " ms";
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
