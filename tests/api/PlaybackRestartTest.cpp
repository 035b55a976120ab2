// Starts a host can trust: any millisecond as a start, and speed and volume changes while playing.
#include <algorithm>
#include <cstdlib>
#include <map>

#include "PlaybackHost.h"

namespace {

// The events from the nth EVENT_FORMAT (one start) up to the next one.
std::vector<Delivery> StartNumber(const std::vector<Delivery> &events, size_t nth) {
    const size_t from = IndexOf(events, BRIVANE_EVENT_FORMAT, nth);
    const size_t to = IndexOf(events, BRIVANE_EVENT_FORMAT, nth + 1);
    return std::vector<Delivery>(events.begin() + long(std::min(from, events.size())), events.begin() + long(to));
}

TEST_F(PlaybackTest, OddStartsPlayTheFileFramesFromTheFrameAtTheStart) {
    const uint32_t windowMs = 200;
    const uint32_t mediumMs = 2600;  // the last start's window passes the end: silence fills it
    const std::vector<Medium> media = {NoiseWave(1, 8000, 8, mediumMs), NoiseWave(2, 11025, 8, mediumMs),
                                       NoiseWave(1, 22050, 16, mediumMs), NoiseWave(2, 44100, 16, mediumMs),
                                       NoiseWave(2, 48000, 16, mediumMs)};
    struct Case {
        const Medium *medium;
        uint32_t mode, start;
    };
    std::vector<Case> cases;
    for (uint32_t start : {1u, 3u, 5u, 7u, 1003u, 2501u}) {
        for (const Medium &medium : media) cases.push_back({&medium, BRIVANE_MODE_WAVE, start});
        // Wine's reader starts a window a few frames away from where it was asked to.
        if (!RunningUnderWine()) cases.push_back({&media[3], BRIVANE_MODE_DECODE, start});
    }
    auto describe = [](const Case &c) {
        return c.medium->name + " mode " + std::to_string(c.mode) + " from " + std::to_string(c.start) + " ms";
    };
    std::vector<uint32_t> handles;
    for (const Case &c : cases) {
        handles.push_back(host.Open(*c.medium, Source::Memory, c.mode));
        ASSERT_NE(0u, handles.back());
        // Refused, as its start lies after its end.
        Brivane().AudioOutSetDuration(handles.back(), 2000, 1000);
        // Plays from 0; the seek restarts at the odd start, and the play after the end starts there again.
        Brivane().AudioOutSetDuration(handles.back(), 0, c.start + windowMs);
        Brivane().AudioOutPlay(handles.back(), 0);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        ASSERT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_PLAYING, milliseconds(20000)));
        Brivane().AudioOutSeek(handles[i], cases[i].start);
    }
    host.Fence();
    // On a loaded machine the first start may end before its seek runs; a play then starts there.
    for (uint32_t handle : handles) {
        if (Count(host.Of(handle), BRIVANE_EVENT_FORMAT) > 1) continue;
        ASSERT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, milliseconds(20000)));
        Brivane().AudioOutPlay(handle, 0);
    }
    for (size_t nth : {1u, 2u}) {
        for (size_t i = 0; i < handles.size(); ++i) {
            ASSERT_TRUE(host.WaitUntil(handles[i], milliseconds(20000),
                                       [&](const std::vector<Delivery> &events) {
                                           const std::vector<Delivery> start = StartNumber(events, nth);
                                           return !start.empty() && start.back().code == BRIVANE_EVENT_END;
                                       }))
                << describe(cases[i]) << ": " << Sequence(host.Of(handles[i]));
            if (nth == 1) Brivane().AudioOutPlay(handles[i], 0);
        }
    }
    for (uint32_t handle : handles) Brivane().AudioOutClose(handle);
    host.Fence();

    for (size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        const Medium &medium = *c.medium;
        const uint32_t align = medium.format.nBlockAlign;
        size_t at = MsToBytes(medium.format, c.start) / align * align;
        const std::vector<Delivery> events = host.Of(handles[i]);
        const std::string what = describe(c);
        EXPECT_EQ(0u, IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED)) << what << ": " << Sequence(events);
        EXPECT_EQ(events.size(), IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED, 1)) << what << ": " << Sequence(events);
        for (size_t nth : {1u, 2u}) {
            const std::vector<char> data = Data(StartNumber(events, nth));
            const std::string which = what + (nth == 1 ? " by seek" : " by window");
            EXPECT_EQ(0u, data.size() % align) << which;
            // Decoded data after a seek may begin with the partial block of the interrupted start.
            if (nth == 1 && c.mode == BRIVANE_MODE_DECODE) continue;
            EXPECT_GE(data.size(), MsToBytes(medium.format, windowMs)) << which;
            EXPECT_LE(data.size(), MsToBytes(medium.format, windowMs + 4)) << which;
            // A decoded start lands on the frame nearest to it; direct WAV mode on the frame at or before it.
            size_t from = at;
            if (c.mode == BRIVANE_MODE_DECODE) {
                from = size_t(std::search(medium.pcm.begin(), medium.pcm.end(), data.begin(), data.begin() + 64) -
                              medium.pcm.begin());
                EXPECT_EQ(0u, from % align) << which << ": the reader started inside a frame, at byte " << from;
                EXPECT_LE(from, at + align) << which;
            }
            EXPECT_TRUE(data == Slice(medium.pcm, from, data.size()))
                << which << ": not the file's frames from byte " << from;
            at = from;
        }
    }
}

// A volume set before the device opens is accepted but does not last; one set while playing acts at once.
TEST_F(PlaybackTest, ASpeedChangeWaitsForTheNextStartAndAVolumeChangeActsAtOnce) {
    const Medium &medium = MediumNamed("long.wav");
    const struct {
        uint32_t mode;
        int speed, changeTo;
        bool volume;
    } cases[] = {
        // Its change waits, so it plays the medium sample for sample: the volume's levels show in it.
        {BRIVANE_MODE_DECODE, 100, 150, true},
        {BRIVANE_MODE_DECODE, 150, 100, false},
        {BRIVANE_MODE_DECODE, 0, 150, false},
        {BRIVANE_MODE_WAVE, 100, 0, false},
        // Unchanged: the speed alone sets the pace of the data and the length of the output.
        {BRIVANE_MODE_WAVE, 150, 150, false},
        {BRIVANE_MODE_DECODE, 70, 70, false},
    };
    const char *disk = DiskAudioFile();
    for (const auto &c : cases) {
        const std::string what = "mode " + std::to_string(c.mode) + " speed " + std::to_string(c.speed) +
                                 " changed to " + std::to_string(c.changeTo);
        const uint32_t handle = host.Start(medium, Source::Memory, c.mode, [&](uint32_t h) {
            Brivane().AudioOutSetSpeed(h, c.speed);
            if (c.volume) {
                EXPECT_EQ(1u, Brivane().AudioOutSetVolume(h, 30)) << "no device yet";
            }
        });
        ASSERT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_PLAYING, Patience(medium))) << what;
        std::this_thread::sleep_for(milliseconds(700));
        if (c.volume) {
            EXPECT_EQ(1u, Brivane().AudioOutSetVolume(handle, 50));
        }
        Brivane().AudioOutSetSpeed(handle, c.changeTo);
        EXPECT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, 2 * Patience(medium))) << what;
        Brivane().AudioOutClose(handle);
        host.Fence();

        const std::vector<Delivery> events = host.Of(handle);
        ASSERT_EQ("FORMAT PLAYING DATA* END", Sequence(events, false)) << what;
        EXPECT_TRUE(Data(events) == medium.pcm) << what << ": " << Sequence(events);
        const int speed = c.speed == 0 ? 100 : c.speed;
        const double scaled = medium.durationMs * 100.0 / speed;
        // A tick finding no whole block queued hands over what there is, so only most hold 50 ms at the start's speed.
        std::map<size_t, size_t> sizes;
        for (const Delivery &event : events) sizes[event.payload.size()] += event.code == BRIVANE_EVENT_DATA;
        const auto common = std::max_element(sizes.begin(), sizes.end(),
                                             [](const auto &a, const auto &b) { return a.second < b.second; });
        EXPECT_EQ(size_t(medium.format.nAvgBytesPerSec * 50 * (speed / 100.0) * 0.001 + 0.5), common->first) << what;
        const auto lasted = std::chrono::duration_cast<milliseconds>(events.back().at - events[1].at).count();
        // Late events are a loaded machine's; an early end is the fault.
        EXPECT_GE(double(lasted), 0.85 * scaled) << what << ": the end came after " << lasted << " ms";
        // The end also waits out the device's latency, which a sound server adds, so the pace is the data's.
        const auto paced =
            std::chrono::duration_cast<milliseconds>(events[events.size() - 2].at - events[1].at).count();
        EXPECT_LE(double(paced), 1.5 * scaled + 1000) << what << ": the data took " << paced << " ms";

        if (!disk) continue;
        const std::vector<char> output = ReadFile(disk);
        const Sound sound = Listen(output);
        if (c.speed == 0) {
            EXPECT_EQ(sound.first, sound.last) << what << ": speed 0 plays silence";
            continue;
        }
        const double outputMs = (sound.last - sound.first) * 1000.0 / medium.format.nSamplesPerSec;
        EXPECT_NEAR(scaled, outputMs, 0.1 * scaled + 100) << what << ": the output lasts " << outputMs << " ms";
        EXPECT_LT(sound.longestGap, medium.format.nSamplesPerSec / 50) << what << ": the output falls silent";
        if (!c.volume) continue;
        // The chirp's first frame is silent and its second is not: that places the medium in the output.
        const size_t start = sound.first - 1, samples = medium.pcm.size() / 2;
        ASSERT_GE(output.size(), 4 * start + medium.pcm.size());
        const int16_t *played = reinterpret_cast<const int16_t *>(output.data()) + 2 * start;
        const int16_t *source = reinterpret_cast<const int16_t *>(medium.pcm.data());
        for (size_t i = 0; i < samples * 100 / medium.durationMs; ++i)  // the first 100 ms
            ASSERT_LE(std::abs(played[i] - source[i]), 1) << "full level at sample " << i;
        for (size_t i = samples - samples / 3; i < samples; ++i)  // the last second
            ASSERT_LE(std::abs(played[i] - source[i] * 0x7FFF / 0xFFFF), 2) << "half level at sample " << i;
    }
}

}  // namespace
