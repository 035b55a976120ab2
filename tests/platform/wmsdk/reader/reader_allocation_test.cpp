// Each reader allocation fails in turn: that run plays all or says E_OUTOFMEMORY, never hangs, and the next plays all.
#include "FailingAllocations.h"
#include "reader_support.h"

namespace {

const DWORD kPatienceMs = 10000;

template <class Vector>
void Empty(Vector &vector, size_t room) {
    vector.clear();
    vector.reserve(room);
}

// Empties the log for another run, with room enough that recording allocates nothing.
void Reset(CReaderLog &log) {
    Empty(log.statuses, 256);
    Empty(log.results, 256);
    Empty(log.pcm, 4 << 20);
    Empty(log.ticks, 8192);
    for (std::vector<QWORD> *times : {&log.times, &log.durations, &log.reached, &log.deliveredTo}) Empty(*times, 8192);
}

// Plays the medium on the host's clock; true when all of it came, wholeBytes of PCM (0: any).
bool PlayToTheEnd(const WideString &path, CReaderLog &log, size_t wholeBytes) {
    Reset(log);
    TestReader r;
    if (FAILED(r.created)) {
        EXPECT_EQ(r.created, E_OUTOFMEMORY);
        EXPECT_EQ(r.reader, nullptr);
        return false;
    }
    bool whole = false;
    log.clock = r.advanced;
    HRESULT hr = r.Open(path, log);
    if (SUCCEEDED(hr)) hr = r.advanced->SetUserProvidedClock(TRUE);
    if (SUCCEEDED(hr)) hr = r.reader->Start(0, 0, 1.0f, nullptr);
    if (SUCCEEDED(hr)) {
        EXPECT_TRUE(log.WaitForEnd(kPatienceMs)) << "the reader neither reached the end nor failed";
        const HRESULT error = log.ResultOf(WMT_ERROR);
        if (log.WaitFor(WMT_ERROR, 0)) {
            EXPECT_EQ(error, E_OUTOFMEMORY);
        } else if (wholeBytes) {
            EXPECT_EQ(log.pcm.size(), wholeBytes) << "the end came without an error, with PCM lost";
            whole = log.pcm.size() == wholeBytes;
        } else {
            whole = !log.pcm.empty();
        }
    } else {
        EXPECT_EQ(hr, E_OUTOFMEMORY);
    }
    const HRESULT closed = r.reader->Close();
    if (SUCCEEDED(closed)) {
        EXPECT_TRUE(log.WaitFor(WMT_CLOSED, kPatienceMs));
    } else if (closed != NS_E_INVALID_REQUEST) {  // the open failed: nothing to close
        EXPECT_EQ(closed, E_OUTOFMEMORY);
    }
    log.clock = nullptr;
    return whole;
}

TEST(ReaderAllocations, EveryAllocationOfOpeningAndDecodingFailsCleanly) {
    const struct {
        const char *file;
        int leastRefused;  // allocations the medium needs at the least
    } cases[] = {{"chirp.wav", 20}, {"chirp.wma", 40}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const WideString path = Wide(MediaPath(c.file));
        CReaderLog log;
        ASSERT_TRUE(PlayToTheEnd(path, log, 0));
        const size_t wholeBytes = log.pcm.size();
        EXPECT_GE(failalloc::FailEachInTurn([&] { return PlayToTheEnd(path, log, wholeBytes); }, 5000), c.leastRefused);
    }
}

}  // namespace
