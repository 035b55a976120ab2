// The media reader as the library uses it: open, describe, decode as ffmpeg does, pace, give back, and fail cleanly.
#include "reader_support.h"

namespace {

// WAV bit for bit, compressed media within a packet once aligned; Wine's decoders keep the codec delay ffmpeg drops.
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

// The attribute's type and value by the two-call protocol: its length first, then the value.
template <class T>
HRESULT Attribute(IWMHeaderInfo *header, const WCHAR *name, WMT_ATTR_DATATYPE *kind, T *value) {
    WORD stream = 0, length = 0;
    HRESULT hr = header->GetAttributeByName(&stream, name, kind, nullptr, &length);
    if (FAILED(hr)) return hr;
    EXPECT_EQ(length, sizeof(T));
    return header->GetAttributeByName(&stream, name, kind, reinterpret_cast<BYTE *>(value), &length);
}

// Described as the library expects: the output's PCM type, the attributes and the profile's audio stream.
void ExpectDescribes(TestReader &r, const TestMedium &medium) {
    DWORD outputs = 0;
    EXPECT_EQ(r.reader->GetOutputCount(&outputs), S_OK);
    ASSERT_GE(outputs, 1u);
    // A PCM type by the two-call size protocol, its 18-byte format record right after it in the caller's block.
    IWMOutputMediaProps *props = nullptr;
    ASSERT_EQ(r.reader->GetOutputProps(0, &props), S_OK);
    std::vector<ULONGLONG> storage;
    WM_MEDIA_TYPE *type = MediaTypeOf(props, storage);
    props->Release();
    EXPECT_TRUE(type->majortype == WMMEDIATYPE_Audio && type->subtype == WMMEDIASUBTYPE_PCM &&
                type->formattype == WMFORMAT_WaveFormatEx);
    ASSERT_EQ(type->cbFormat, 18u) << "the player takes an 18-byte format record";
    EXPECT_EQ(type->pbFormat, reinterpret_cast<BYTE *>(type + 1));
    const WAVEFORMATEX format = FormatOf(type), wanted = PcmFormat(medium.channels, medium.rate, 16);
    EXPECT_EQ(std::memcmp(&format, &wanted, 16), 0);

    // "Duration" within a packet of what ffmpeg decodes (and of Wine's own longer decode there).
    WMT_ATTR_DATATYPE kind = WMT_TYPE_BINARY;
    QWORD duration = 0;
    EXPECT_EQ(Attribute(r.header, g_wszWMDuration, &kind, &duration), S_OK);
    EXPECT_EQ(kind, WMT_TYPE_QWORD);
    const double lead = RunningUnderWine() ? double(medium.wineLead) / medium.rate : 0;
    EXPECT_NEAR(double(duration) / 1e7, medium.Seconds(), medium.PacketSeconds() + lead + 0.001);
    BOOL seekable = FALSE;
    EXPECT_EQ(Attribute(r.header, g_wszWMSeekable, &kind, &seekable), S_OK);
    EXPECT_EQ(kind, WMT_TYPE_BOOL);
    EXPECT_EQ(seekable, TRUE);
    // A local medium is no broadcast; Wine leaves the attribute out, which reads the same.
    BOOL broadcast = 2;
    const HRESULT found = Attribute(r.header, g_wszWMBroadcast, &kind, &broadcast);
    EXPECT_TRUE(found == S_OK ? broadcast == FALSE : RunningUnderWine() && found == HRESULT(0xC00D07F0));
    EXPECT_EQ(Attribute(r.header, Wide("NoSuchAttribute").c_str(), &kind, &duration), HRESULT(0xC00D07F0));

    // The profile names the audio stream with the medium's rate and channels.
    IWMProfile *profile = nullptr;
    ASSERT_EQ(r.reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void **>(&profile)), S_OK);
    DWORD streams = 0;
    EXPECT_EQ(profile->GetStreamCount(&streams), S_OK);
    EXPECT_EQ(streams, 1u);
    IWMStreamConfig *config = nullptr;
    ASSERT_EQ(profile->GetStream(0, &config), S_OK);
    GUID streamType = GUID_NULL;
    EXPECT_EQ(config->GetStreamType(&streamType), S_OK);
    EXPECT_TRUE(streamType == WMMEDIATYPE_Audio);
    IWMMediaProps *streamProps = nullptr;
    ASSERT_EQ(config->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void **>(&streamProps)), S_OK);
    const WAVEFORMATEX stored = FormatOf(MediaTypeOf(streamProps, storage));
    EXPECT_EQ(stored.nChannels, medium.channels);
    EXPECT_EQ(stored.nSamplesPerSec, medium.rate);
    streamProps->Release();
    config->Release();
    profile->Release();
}

TEST(ReaderContract, DescribesAndDecodesMediaAsFfmpegDoesFromAStartForADuration) {
    const QWORD second = 10000000;
    // In the host's buffers from the start, described there; in the reader's from a second; once released unclosed.
    const struct {
        QWORD start, duration;
        bool lend, close;
    } cases[] = {{0, 0, true, true}, {second, 0, false, true}, {second, second / 2, false, false}};
    for (const TestMedium &medium : kTestMedia) {
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << medium.file << " from " << c.start << " for " << c.duration
                                            << (c.lend ? " in lent buffers" : ""));
            CReaderLog log;
            // Wine holds on to a callback that lends buffers, closed or released.
            const bool wineHolds = c.lend && RunningUnderWine();
            {
                TestReader r;
                ASSERT_EQ(r.Open(Wide(MediaPath(medium.file)), log), S_OK);
                if (c.lend) ExpectDescribes(r, medium);
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
                if (c.close) {
                    // The reader lets go of the host's callback once closed.
                    EXPECT_EQ(r.reader->Close(), S_OK);
                    EXPECT_TRUE(log.WaitFor(WMT_CLOSED, 0)) << "closed is reported before Close returns";
                    EXPECT_EQ(log.References(), wineHolds ? 2 : 1);
                    EXPECT_EQ(r.reader->Close(), NS_E_INVALID_REQUEST) << "nothing left to close";
                }
            }
            // A reader released without a close holds on to nothing of the host's.
            EXPECT_EQ(log.References(), wineHolds ? 2 : 1);

            // The library's clock steps, each after the last is reached: no sample early, each delivered to its time.
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
            for (size_t i = 1; i < log.times.size(); ++i)
                ASSERT_NEAR(double(log.times[i]), double(log.times[i - 1] + log.durations[i - 1]), 1e4)
                    << "sample " << i;
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

// What is no medium fails cleanly; a medium cut short gives what it holds.
TEST(ReaderContract, DamagedOrMissingMediaFailCleanly) {
    const struct {
        const char *file;
        bool opens;
    } cases[] = {{"missing.wma", false}, {"garbage.bin", false}, {"header-cut.wma", false}, {"half.wma", true}};
    const size_t whole = ReadBytes(MediaPath("chirp.wma.s16")).size();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        CReaderLog log;
        TestReader r;
        const bool opened = SUCCEEDED(r.Open(Wide(MediaPath(c.file)), log));
        EXPECT_EQ(opened, c.opens);
        if (!opened) continue;
        EXPECT_EQ(r.advanced->SetUserProvidedClock(TRUE), S_OK);
        EXPECT_EQ(r.reader->Start(0, 0, 1.0f, nullptr), S_OK);
        EXPECT_EQ(r.advanced->DeliverTime(QWORD(-1)), S_OK);
        EXPECT_TRUE(log.WaitFor(WMT_EOF, 10000));
        EXPECT_GT(log.pcm.size(), 0u);
        EXPECT_LT(log.pcm.size(), whole);
    }
}

TEST(ReaderContract, PacesDeliveryToRealTimeOnItsOwnClock) {
    const DWORD pauseMs = 400;
    CReaderLog log;
    TestReader r;
    ASSERT_EQ(r.Open(Wide(MediaPath("chirp.wav")), log), S_OK);
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
