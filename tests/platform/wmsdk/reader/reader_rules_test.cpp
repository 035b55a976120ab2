// What Windows records of its reader and the library relies on: the properties it hands out are
// copies the caller owns, media types come by the two-call size protocol, and Close gives the host's
// stream and callback back before it returns.
#include "reader_support.h"

namespace {

TEST(ReaderRules, OutputPropsAreCopiesOfAPcmTypeTheCallerOwns) {
    const std::vector<BYTE> bytes = ReadBytes(MediaPath("chirp.wma"));
    CTestStream stream(bytes);
    CReaderLog log;
    TestReader r;
    ASSERT_TRUE(r.Open("", log, &stream));
    DWORD count = 0;
    ASSERT_EQ(r.reader->GetOutputCount(&count), S_OK);
    ASSERT_GE(count, 1u);

    IWMOutputMediaProps *first = nullptr, *second = nullptr;
    ASSERT_EQ(r.reader->GetOutputProps(0, &first), S_OK);
    ASSERT_EQ(r.reader->GetOutputProps(0, &second), S_OK);
    EXPECT_NE(first, second) << "each call hands out its own object";
    EXPECT_EQ(second->Release(), 0u) << "the reader keeps no reference to what it hands out";

    // The media type by the size query, after a buffer one byte short is refused and learns the size it needs.
    DWORD size = 0;
    std::vector<ULONGLONG> storage;
    WM_MEDIA_TYPE *type = MediaTypeOf(first, storage, &size);
    DWORD tooSmall = size - 1;
    EXPECT_EQ(first->GetMediaType(type, &tooSmall), ASF_E_BUFFERTOOSMALL);
    EXPECT_EQ(tooSmall, size);
    EXPECT_EQ(size, sizeof(WM_MEDIA_TYPE) + type->cbFormat);
    EXPECT_TRUE(type->bFixedSizeSamples && !type->bTemporalCompression && !type->pUnk);
    ASSERT_EQ(type->cbFormat, 18u) << "the player takes an 18-byte format record";
    EXPECT_EQ(type->pbFormat, reinterpret_cast<BYTE *>(type + 1)) << "the format follows the record";
    first->Release();

    IWMOutputMediaProps *untouched = reinterpret_cast<IWMOutputMediaProps *>(0x1234);
    EXPECT_EQ(r.reader->GetOutputProps(count, &untouched), E_INVALIDARG);
    EXPECT_EQ(untouched, reinterpret_cast<IWMOutputMediaProps *>(0x1234)) << "a refused call writes nothing";
}

// A memory image may be freed once its reader is closed or released: the reader must have let go of
// the stream and of the callback by then.
TEST(ReaderRules, CloseAndReleaseGiveBackTheStreamAndCallback) {
    const std::vector<BYTE> bytes = ReadBytes(MediaPath("chirp.wav"));
    for (const bool close : {true, false}) {
        SCOPED_TRACE(close ? "closed" : "released without a close");
        CTestStream stream(bytes);
        CReaderLog log;
        IWMReader *reader = nullptr;
        IWMReaderAdvanced2 *advanced = nullptr;
        ASSERT_EQ(WMCreateReader(nullptr, 0, &reader), S_OK);
        ASSERT_EQ(reader->QueryInterface(IID_IWMReaderAdvanced2, reinterpret_cast<void **>(&advanced)), S_OK);
        ASSERT_EQ(advanced->OpenStream(stream.Stream(), log.Callback(), nullptr), S_OK);
        ASSERT_TRUE(log.WaitFor(WMT_OPENED, 10000));
        EXPECT_GT(stream.References(), 1);
        EXPECT_GT(log.References(), 1);
        // Without a clock of the host's, the reader keeps its own time.
        ASSERT_EQ(reader->Start(0, 0, 1.0f, nullptr), S_OK);
        EXPECT_EQ(advanced->DeliverTime(10000000), E_UNEXPECTED);
        if (close) {
            EXPECT_EQ(reader->Close(), S_OK);
            EXPECT_TRUE(log.WaitFor(WMT_CLOSED, 0)) << "closed is reported before Close returns";
            EXPECT_EQ(stream.References(), 1);
            EXPECT_EQ(log.References(), 1);
            EXPECT_EQ(reader->Close(), NS_E_INVALID_REQUEST) << "nothing left to close";
        }
        advanced->Release();
        EXPECT_EQ(reader->Release(), 0u);
        EXPECT_EQ(stream.References(), 1);
        EXPECT_EQ(log.References(), 1);
    }
}

}  // namespace
