// The media reader opens a medium by name or through the host's stream, describes it as the
// library expects (the first output is 16-bit PCM in properties the caller owns, "Duration" and
// friends by the two-call protocol, the profile's audio stream), fails cleanly on what is no medium,
// and gives the host's stream and callback back once closed or released.
#include "reader_support.h"

namespace {

// The attribute's type and value by the two-call protocol: its length first, then the value.
template <class T>
HRESULT Attribute(IWMHeaderInfo *header, const WCHAR *name, WMT_ATTR_DATATYPE *kind, T *value) {
    WORD stream = 0, length = 0;
    HRESULT hr = header->GetAttributeByName(&stream, name, kind, nullptr, &length);
    if (FAILED(hr)) return hr;
    EXPECT_EQ(length, sizeof(T));
    return header->GetAttributeByName(&stream, name, kind, reinterpret_cast<BYTE *>(value), &length);
}

TEST(ReaderContract, DescribesMediaOpenedByNameOrStream) {
    for (const TestMedium &medium : kTestMedia) {
        for (bool throughStream : {false, true}) {
            SCOPED_TRACE(std::string(medium.file) + (throughStream ? " through a stream" : " by name"));
            const std::vector<BYTE> bytes = ReadBytes(MediaPath(medium.file));
            CTestStream stream(bytes);
            CReaderLog log;
            {
                TestReader r;
                ASSERT_TRUE(r.Open(MediaPath(medium.file), log, throughStream ? &stream : nullptr));
                ASSERT_EQ(log.ResultOf(WMT_OPENED), S_OK);
                DWORD outputs = 0;
                EXPECT_EQ(r.reader->GetOutputCount(&outputs), S_OK);
                ASSERT_GE(outputs, 1u);
                // Each call hands out a copy of its own: a PCM type by the two-call size protocol, an 18-byte
                // format record right after it.
                IWMOutputMediaProps *props = nullptr, *other = nullptr;
                ASSERT_EQ(r.reader->GetOutputProps(0, &props), S_OK);
                ASSERT_EQ(r.reader->GetOutputProps(0, &other), S_OK);
                EXPECT_NE(props, other);
                EXPECT_EQ(other->Release(), 0u) << "the reader keeps no reference to what it hands out";
                DWORD size = 0;
                std::vector<ULONGLONG> storage;
                WM_MEDIA_TYPE *type = MediaTypeOf(props, storage, &size);
                DWORD tooSmall = size - 1;
                EXPECT_EQ(props->GetMediaType(type, &tooSmall), ASF_E_BUFFERTOOSMALL);
                EXPECT_EQ(tooSmall, size);
                props->Release();
                EXPECT_TRUE(type->majortype == WMMEDIATYPE_Audio && type->subtype == WMMEDIASUBTYPE_PCM &&
                            type->formattype == WMFORMAT_WaveFormatEx);
                EXPECT_TRUE(type->bFixedSizeSamples && !type->bTemporalCompression && !type->pUnk);
                ASSERT_EQ(type->cbFormat, 18u) << "the player takes an 18-byte format record";
                EXPECT_EQ(size, sizeof(WM_MEDIA_TYPE) + 18);
                EXPECT_EQ(type->pbFormat, reinterpret_cast<BYTE *>(type + 1));
                IWMOutputMediaProps *untouched = reinterpret_cast<IWMOutputMediaProps *>(0x1234);
                EXPECT_EQ(r.reader->GetOutputProps(outputs, &untouched), E_INVALIDARG);
                EXPECT_EQ(untouched, reinterpret_cast<IWMOutputMediaProps *>(0x1234))
                    << "a refused call writes nothing";
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
            // A reader released without a close holds on to nothing of the host's.
            EXPECT_EQ(log.References(), 1);
            EXPECT_EQ(stream.References(), 1);
        }
    }
}

TEST(ReaderContract, DamagedOrMissingMediaFailCleanly) {
    const struct {
        const char *file;
        bool throughStream;
        bool opens;      // a medium cut short still gives what it holds
        bool hangsWine;  // Wine's OpenStream may never return on it
    } cases[] = {
        {"missing.wma", false, false, false},  {"garbage.bin", false, false, false},
        {"garbage.bin", true, false, false},   {"empty.wma", false, false, false},
        {"header-cut.wma", true, false, true}, {"half.wma", false, true, false},
        {"half.wma", true, true, false},
    };
    const size_t whole = ReadBytes(MediaPath("chirp.wma.s16")).size();
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.throughStream ? " through a stream" : " by name"));
        if (c.hangsWine && RunningUnderWine()) continue;
        const std::vector<BYTE> bytes = ReadBytes(MediaPath(c.file));
        CTestStream stream(bytes);
        CReaderLog log;
        TestReader r;
        const HRESULT hr = c.throughStream ? r.advanced->OpenStream(stream.Stream(), log.Callback(), nullptr)
                                           : r.reader->Open(Wide(MediaPath(c.file)).c_str(), log.Callback(), nullptr);
        // A failure may come at once or with the open status; both end the library's wait.
        if (FAILED(hr)) {
            EXPECT_FALSE(c.opens) << std::hex << hr;
            continue;
        }
        ASSERT_TRUE(log.WaitFor(WMT_OPENED, 10000));
        const bool opened = SUCCEEDED(log.ResultOf(WMT_OPENED));
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

}  // namespace
