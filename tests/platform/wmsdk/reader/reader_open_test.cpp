// The media reader fails cleanly on what is no medium, and gives what a medium cut short holds.
#include "reader_support.h"

namespace {

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
        CTestStream stream(ReadBytes(MediaPath(c.file)));
        CReaderLog log;
        TestReader r;
        const bool opened = r.Open(MediaPath(c.file), log, c.throughStream ? &stream : nullptr);
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
