// The host steering a playback: pause and resume, seek while playing and while paused.
#include <algorithm>

#include "PlaybackHost.h"

namespace {

// A quick seek is a dragged slider: a second seek and a pause posted at once land mid-restart and act on the new play.
TEST_F(PlaybackTest, PauseAndSeekSteerThePlayback) {
    enum Act { kPauseThenSeek, kSeek, kQuickSeek };
    struct Row {
        Play play;
        Act act;
        int speed;
    };
    std::vector<Row> rows = {
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, kPauseThenSeek, 100},
        {{"tone.wav", Source::File, BRIVANE_MODE_WAVE}, kPauseThenSeek, 100},
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, kSeek, 100},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, kSeek, 150},
        {{"tone.wav", Source::File, BRIVANE_MODE_DECODE}, kQuickSeek, 100},
        {{"tone.wav", Source::Memory, BRIVANE_MODE_DECODE}, kQuickSeek, 150},
    };
    // Wine's reader has no pause or resume: there a paused decode fails with event 6, and only direct WAV mode pauses.
    if (RunningUnderWine()) {
        const auto pauses = [](const Row &row) { return row.act != kSeek && row.play.mode == BRIVANE_MODE_DECODE; };
        rows.erase(std::remove_if(rows.begin(), rows.end(), pauses), rows.end());
    }
    const uint32_t pauseMs = 800, seekMs = 900, pausedSeekMs = 1200;
    // By act: the data blocks that arrive before it, and the starts the playback makes.
    const size_t blocksBefore[] = {8, 6, 1}, starts[] = {1, 2, 3};
    std::vector<uint32_t> handles;
    for (const Row &row : rows)
        handles.push_back(host.Start(MediumNamed(row.play.medium), row.play.source, row.play.mode, [&](uint32_t h) {
            Brivane().AudioOutSetSpeed(h, row.speed);
            Brivane().AudioOutSetDuration(h, 0, BRIVANE_TO_END);  // a window to the end: none at all
        }));
    for (size_t i = 0; i < handles.size(); ++i) {
        const Act act = rows[i].act;
        ASSERT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_DATA, Patience(MediumNamed(rows[i].play.medium)),
                                     blocksBefore[act]))
            << Describe(rows[i].play);
        if (act == kQuickSeek) Brivane().AudioOutSeek(handles[i], 300);
        if (act >= kSeek) {
            EXPECT_EQ(1u, Brivane().AudioOutSeek(handles[i], seekMs));
        }
        if (act != kSeek) Brivane().AudioOutPlay(handles[i], 1);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        if (rows[i].act == kSeek) continue;
        EXPECT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_PAUSED, milliseconds(10000)))
            << Describe(rows[i].play) << ": " << Sequence(host.Of(handles[i]));
        if (rows[i].act == kPauseThenSeek) Brivane().AudioOutSeek(handles[i], pausedSeekMs);
        if (rows[i].act == kQuickSeek) Brivane().AudioOutPlay(handles[i], 0);
    }
    std::this_thread::sleep_for(milliseconds(pauseMs));
    for (size_t i = 0; i < handles.size(); ++i)
        if (rows[i].act == kPauseThenSeek) Brivane().AudioOutPlay(handles[i], 0);
    for (size_t i = 0; i < handles.size(); ++i) {
        const Medium &medium = MediumNamed(rows[i].play.medium);
        EXPECT_TRUE(host.WaitUntil(handles[i], Patience(medium),
                                   [&](const std::vector<Delivery> &events) {
                                       return Count(events, BRIVANE_EVENT_FORMAT) >= starts[rows[i].act] &&
                                              (events.back().code == BRIVANE_EVENT_END ||
                                               events.back().code == BRIVANE_EVENT_COMMAND_FAILED);
                                   }))
            << Describe(rows[i].play) << ": " << Sequence(host.Of(handles[i]));
        if (rows[i].act != kPauseThenSeek) continue;
        Brivane().AudioOutPlay(handles[i], 0);  // after the end: from the new start
        EXPECT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_END, Patience(medium), 2)) << Describe(rows[i].play);
    }
    host.Fence();

    for (size_t i = 0; i < handles.size(); ++i) {
        const Row &row = rows[i];
        const Medium &medium = MediumNamed(row.play.medium);
        const std::vector<Delivery> events = host.Of(handles[i]);
        Brivane().AudioOutClose(handles[i]);
        const std::string what = Describe(row.play) + " act " + std::to_string(row.act) + " speed " +
                                 std::to_string(row.speed) + ": " + Sequence(events);
        EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED)) << what;
        if (row.act == kPauseThenSeek) {
            const size_t paused = IndexOf(events, BRIVANE_EVENT_PAUSED),
                         resumed = IndexOf(events, BRIVANE_EVENT_PLAYING, 1);
            const size_t end = IndexOf(events, BRIVANE_EVENT_END), again = IndexOf(events, BRIVANE_EVENT_FORMAT, 1);
            ASSERT_LT(paused, resumed) << what;
            ASSERT_LT(resumed, end) << what;
            // A block already on its way when the pause came may still arrive; nothing more.
            EXPECT_LE(Data(events, paused).size() - Data(events, resumed).size(), 2u * 8820) << what;
            const std::vector<char> data = Data(std::vector<Delivery>(events.begin(), events.begin() + long(end)));
            EXPECT_TRUE(data == medium.pcm) << what << ": the resumed playback is not the whole medium";
            EXPECT_GE(std::chrono::duration_cast<milliseconds>(events[end].at - events[1].at).count(),
                      medium.durationMs * 3 / 4 + pauseMs)
                << what;
            EXPECT_TRUE(end < again && Data(events, again) == Slice(medium.pcm, MsToBytes(medium.format, pausedSeekMs)))
                << what << ": the next start is not at the new position";
            continue;
        }
        const bool quick = row.act == kQuickSeek;
        const size_t restart = IndexOf(events, BRIVANE_EVENT_FORMAT, quick ? 2 : 1);
        ASSERT_LT(restart + 2, events.size()) << what;
        EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_FORMAT, quick ? 3 : 2)) << what;
        if (quick) {
            EXPECT_LT(restart, IndexOf(events, BRIVANE_EVENT_PAUSED)) << what;
        } else {
            EXPECT_EQ(BRIVANE_EVENT_PLAYING, events[restart + 1].code) << what;
        }
        EXPECT_EQ(BRIVANE_EVENT_END, events.back().code) << what;
        // The rest of the medium from the last seek, after at most a block (and a decoder's sample) from before it.
        const std::vector<char> after = Data(events, restart);
        const std::vector<char> tail = Slice(medium.pcm, MsToBytes(medium.format, seekMs));
        const bool endsWithTail = after.size() >= tail.size() && Slice(after, after.size() - tail.size()) == tail;
        EXPECT_TRUE(endsWithTail) << what << ": " << after.size() << " bytes after the seek";
        EXPECT_LE(after.size(), tail.size() + (quick ? 8820 : 13230 + 4096 * 4)) << what;
    }
}

}  // namespace
