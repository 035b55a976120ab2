// The media reader decodes as the ffmpeg program does: on the host's clock, in its own buffers (left
// alone while the host holds them) or the host's, from a start time and for a duration, and paced
// to real time on its own clock, which pausing holds.
#include "reader_support.h"

namespace {

// WAV bit for bit; compressed media within a packet in length and closely in content, however
// much of a packet apart the two decoders place it. Wine's decoders keep their codec delay, which
// the ffmpeg program drops, in front of the PCM.
void ExpectLikeReference(const TestMedium &medium, const std::vector<BYTE> &pcm, size_t fromFrame, size_t frames) {
    const std::vector<int16_t> all = AsSamples(ReadBytes(MediaPath(std::string(medium.file) + ".s16")));
    const size_t channels = medium.channels;
    const size_t begin = std::min(fromFrame * channels, all.size());
    const size_t end = std::min(all.size(), begin + std::min(frames, all.size()) * channels);
    const std::vector<int16_t> wanted(all.begin() + long(begin), all.begin() + long(end));
    const std::vector<int16_t> got = AsSamples(pcm);
    if (medium.exact) {
        EXPECT_TRUE(got == wanted) << got.size() << " samples decoded, " << wanted.size() << " wanted";
        return;
    }
    const int lead = RunningUnderWine() ? int(medium.wineLead) : 0;
    EXPECT_NEAR(double(got.size() / channels), double(wanted.size() / channels), medium.packetFrames + lead);
    int shift = 0;
    const size_t middle = wanted.size() / channels / 2 - 2048;
    EXPECT_GE(AlignedSnr(wanted, got, channels, middle, lead, int(medium.packetFrames), &shift), 30.0)
        << "shift " << shift;
}

void ExpectContiguousTimes(const CReaderLog &log) {
    for (size_t i = 1; i < log.times.size(); ++i)
        ASSERT_NEAR(double(log.times[i]), double(log.times[i - 1] + log.durations[i - 1]), 10000.0) << "sample " << i;
}

TEST(ReaderContract, DecodesMediaAsFfmpegDoesFromAStartForADuration) {
    const QWORD second = 10000000;
    // By name in the reader's own buffers, or through a stream into buffers the host lends.
    const struct {
        QWORD start, duration;
        bool lend;
    } cases[] = {{0, 0, false}, {0, 0, true}, {second, 0, false}, {second, second / 2, false}};
    for (const TestMedium &medium : kTestMedia) {
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << medium.file << " from " << c.start << " for " << c.duration
                                            << (c.lend ? " in lent buffers" : ""));
            const std::vector<BYTE> bytes = ReadBytes(MediaPath(medium.file));
            CTestStream stream(bytes);
            CReaderLog log;
            TestReader r;
            ASSERT_TRUE(r.Open(MediaPath(medium.file), log, c.lend ? &stream : nullptr));
            // Wine answers E_NOTIMPL; the library ignores the answer there.
            DWORD largest = DWORD(-1);
            const HRESULT sized = r.advanced->GetMaxOutputSampleSize(0, &largest);
            EXPECT_TRUE(sized == S_OK || (RunningUnderWine() && sized == E_NOTIMPL)) << std::hex << sized;
            if (c.lend) {
                EXPECT_EQ(r.advanced->SetAllocateForOutput(0, TRUE), S_OK);
            }
            // Buffers the host still holds must not be filled again.
            log.keepEvery = c.lend ? 0 : 3;
            EXPECT_EQ(r.advanced->SetUserProvidedClock(TRUE), S_OK);
            log.clock = r.advanced;
            EXPECT_EQ(r.reader->Start(c.start, c.duration, 1.0f, nullptr), S_OK);
            ASSERT_TRUE(log.WaitForEnd(20000));
            EXPECT_EQ(r.reader->Stop(), S_OK);
            EXPECT_TRUE(log.WaitFor(WMT_STOPPED, 5000));
            // A memory image may be freed once its reader is closed: the reader lets go of it by then.
            EXPECT_EQ(r.reader->Close(), S_OK);
            EXPECT_TRUE(log.WaitFor(WMT_CLOSED, 0)) << "closed is reported before Close returns";
            EXPECT_EQ(stream.References(), 1);
            // Wine keeps a callback that lends buffers until the reader is released.
            EXPECT_EQ(log.References(), c.lend && RunningUnderWine() ? 2 : 1);
            EXPECT_EQ(r.reader->Close(), NS_E_INVALID_REQUEST) << "nothing left to close";

            // The library's pattern: the host's clock grows in steps, each given once the last was
            // reported reached; no sample comes before its time and each step delivers up to its time.
            ASSERT_FALSE(log.times.empty());
            EXPECT_EQ(log.early, 0);
            const QWORD delivered = log.times.back() + log.durations.back();
            ASSERT_FALSE(log.reached.empty());
            for (size_t i = 0; i < log.reached.size(); ++i) {
                EXPECT_EQ(log.reached[i], (i + 1) * second) << "step " << i;
                if (log.reached[i] <= delivered) {
                    EXPECT_GT(log.deliveredTo[i] + 10000, log.reached[i]) << "the reader stopped short at step " << i;
                }
            }
            EXPECT_NEAR(double(log.times[0]) / 1e7, double(c.start) / 1e7, medium.PacketSeconds() + 0.001);
            ExpectContiguousTimes(log);
            EXPECT_LE(log.largest, largest);
            EXPECT_EQ(c.lend ? log.foreign : log.lent, 0);
            EXPECT_TRUE(log.KeptUnchanged());
            const size_t from = size_t(c.start / second) * medium.rate;
            if (!c.duration) {
                const std::vector<WMT_STATUS> expected = {WMT_OPENED, WMT_STARTED, WMT_END_OF_STREAMING,
                                                          WMT_EOF,    WMT_STOPPED, WMT_CLOSED};
                EXPECT_TRUE(log.statuses == expected);
                ExpectLikeReference(medium, log.pcm, from, size_t(-1));
                continue;
            }
            // Wine ends a segment with WMT_EOF, where the documentation has WMT_END_OF_SEGMENT.
            EXPECT_TRUE(log.WaitFor(RunningUnderWine() ? WMT_EOF : WMT_END_OF_SEGMENT, 0));
            EXPECT_FALSE(log.WaitFor(RunningUnderWine() ? WMT_END_OF_SEGMENT : WMT_EOF, 0));
            // Whole samples up to the end of the segment, and none after.
            const QWORD segmentEnd = c.start + c.duration;
            EXPECT_LT(log.times.back(), segmentEnd);
            EXPECT_GE(log.times.back() + log.durations.back(), segmentEnd - 10000);
            ExpectLikeReference(medium, log.pcm, from, log.pcm.size() / (2u * medium.channels));
        }
    }
}

TEST(ReaderContract, PacesDeliveryToRealTimeOnItsOwnClock) {
    const DWORD pauseMs = 400;
    CReaderLog log;
    TestReader r;
    ASSERT_TRUE(r.Open(MediaPath("chirp.wav"), log, nullptr));
    const DWORD begin = GetTickCount();
    EXPECT_EQ(r.reader->Start(0, 0, 1.0f, nullptr), S_OK);
    ASSERT_TRUE(log.WaitFor(WMT_STARTED, 5000));
    EXPECT_EQ(r.advanced->DeliverTime(10000000), E_UNEXPECTED) << "the reader keeps its own time";
    Sleep(100);
    // Wine does not pause (E_NOTIMPL), and a pause command of the library fails there.
    const HRESULT paused = r.reader->Pause();
    EXPECT_TRUE(paused == S_OK || (RunningUnderWine() && paused == E_NOTIMPL)) << std::hex << paused;
    Sleep(pauseMs);
    EXPECT_EQ(r.reader->Resume(), paused);
    ASSERT_TRUE(log.WaitFor(WMT_EOF, 10000));
    ASSERT_FALSE(log.ticks.empty());
    EXPECT_LT(log.ticks.front() - begin, 300u);
    // The last sample comes about when it plays, a little early at most, and later by the pause.
    const double lastDue = double(log.times.back()) / 10000 + (paused == S_OK ? pauseMs : 0);
    EXPECT_GE(double(log.ticks.back() - begin), lastDue - 700);
    EXPECT_LE(double(log.ticks.back() - begin), lastDue + 500);
    EXPECT_TRUE(std::find(log.statuses.begin(), log.statuses.end(), WMT_END_OF_STREAMING) != log.statuses.end());
}

}  // namespace
