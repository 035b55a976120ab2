// The player against a fake media reader: output choice, paced host data, late ends, the window's silence fill.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "WaveTestSupport.h"
#include "files/SampleBuffer.h"
#include "playback/Player.h"

namespace {

struct FakeOutput {
    GUID major;
    std::vector<BYTE> format;
    BOOL propsFail = FALSE;
};

// Fake media reader and output properties: fixed outputs of one media type each, and commands that only succeed.
class FakeReader final : public CComObject<IWMReader, IWMOutputMediaProps> {
public:
    std::vector<FakeOutput> outputs;
    HRESULT STDMETHODCALLTYPE Open(const WCHAR *, IWMReaderCallback *, void *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close() override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetOutputCount(DWORD *count) override {
        *count = static_cast<DWORD>(outputs.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetOutputProps(DWORD number, IWMOutputMediaProps **props) override {
        if (outputs[number].propsFail) return E_OUTOFMEMORY;
        m_props = number;
        AddRef();
        *props = this;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetOutputProps(DWORD, IWMOutputMediaProps *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputFormatCount(DWORD, DWORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputFormat(DWORD, DWORD, IWMOutputMediaProps **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Start(QWORD, QWORD, float, void *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Resume() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE GetType(GUID *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE *type, DWORD *size) override {
        const FakeOutput &output = outputs[m_props];
        const DWORD needed = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + output.format.size());
        if (!type) {
            *size = needed;
            return S_OK;
        }
        std::memset(type, 0, sizeof(WM_MEDIA_TYPE));
        type->majortype = output.major;
        type->cbFormat = static_cast<ULONG>(output.format.size());
        type->pbFormat = reinterpret_cast<BYTE *>(type + 1);
        std::memcpy(type->pbFormat, output.format.data(), output.format.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamGroupName(WCHAR *, WORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR *, WORD *) override { return E_NOTIMPL; }

private:
    void *FindInterface(REFIID) override { return nullptr; }
    // Lives on the test's stack: the last Release destroys nothing.
    void OnFinalRelease() override {}
    DWORD m_props = 0;  // the output whose properties were handed out last
};

struct Event {
    DWORD code, size;
    std::chrono::steady_clock::time_point at;
};

// Paced events come from the tick thread.
std::mutex g_eventsLock;

LONG WINAPI RecordEvent(DWORD, void *context, DWORD code, const void *, DWORD size) {
    std::lock_guard<std::mutex> hold(g_eventsLock);
    static_cast<std::vector<Event> *>(context)->push_back({code, size, std::chrono::steady_clock::now()});
    return 0;
}

// A player whose reader is the test double; the playback internals are reachable from the tests.
class TestPlayer final : public CPlayer {
public:
    using CPlayer::EndStart;
    using CPlayer::MarkStreamEnd;
    using CPlayer::OnOutputEmpty;
    using CPlayer::SelectOutput;
    using CPlayer::StartContext;
    explicit TestPlayer(FakeReader *reader) {
        m_pReader = reader;
        SetEventSink(&RecordEvent, &events, 50);
    }
    // Paced host data, as in direct WAV mode, from a start on.
    void StartPaced() {
        m_mode = PLAY_MODE_WAVE;
        ASSERT_TRUE(m_feed.StartTicks());
        OnStatus(WMT_STARTED, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    }
    // The tick thread calls into the player: it stops before the player goes.
    void StopTicks() { m_feed.StopTicks(); }
    CRITICAL_SECTION *Lock() { return &m_lock; }
    void SayEnded() { m_state = PS_ENDED; }
    // A seek's restart: the reader's statuses for the earlier start may still come.
    void *NextStart() { return StartContext(++m_playGeneration); }
    // The current start's buffers are written in that output generation.
    void WriteIn(DWORD outputGeneration) {
        m_outputStart = static_cast<ULONGLONG>(outputGeneration) << 32 | m_playGeneration.load();
    }
    // What a start does to the output choice.
    void Restart() { m_outputNumber = kNoOutput; }
    DWORD Output() const { return m_outputNumber; }
    // A medium's samples as the reader hands them over.
    void Feed(const std::vector<DWORD> &sampleBytes, QWORD firstMs, QWORD sampleMs) {
        CSampleBuffer *buffer = new CSampleBuffer(nullptr);
        buffer->SetCapacity(65536);
        QWORD time = firstMs * 10000;
        for (DWORD bytes : sampleBytes) {
            buffer->SetLength(bytes);
            OnSample(Output(), time, sampleMs * 10000, 0, buffer, nullptr);
            time += sampleMs * 10000;
        }
        buffer->Release();
    }
    std::vector<Event> events;
};

// An audio output whose format block is the record and zeros up to its size.
FakeOutput Audio(const WAVEFORMATEX &format, size_t size = 18, BOOL propsFail = FALSE) {
    FakeOutput output = {WMMEDIATYPE_Audio, std::vector<BYTE>(size, 0), propsFail};
    std::memcpy(output.format.data(), &format, 18);
    return output;
}

class PlayerTest : public testing::Test {
protected:
    void TearDown() override { player->Release(); }
    HRESULT Select(const std::vector<FakeOutput> &outputs) {
        reader.outputs = outputs;
        player->Restart();
        return player->SelectOutput();
    }
    void Open(const WAVEFORMATEX &format) { EXPECT_EQ(S_OK, Select({Audio(format)})); }
    // Waits for the count of paced events, then a while longer for any that should not come.
    void Await(DWORD code, size_t count, DWORD settleMs) const {
        for (int waited = 0; waited < 5000 && Sizes(code).size() < count; waited += 10) Sleep(10);
        Sleep(settleMs);
    }
    // The sizes of the events of one code, in order.
    std::vector<DWORD> Sizes(DWORD code) const {
        std::lock_guard<std::mutex> hold(g_eventsLock);
        std::vector<DWORD> sizes;
        for (const Event &event : player->events)
            if (event.code == code) sizes.push_back(event.size);
        return sizes;
    }

    FakeReader reader;
    TestPlayer *player = new TestPlayer(&reader);
};

TEST_F(PlayerTest, ChoosesTheFirstAudioOutputWithAnEighteenByteFormat) {
    const WAVEFORMATEX stereo = PcmFormat(2, 44100, 16);
    const GUID video = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    struct Case {
        const char *name;
        std::vector<FakeOutput> outputs;
        HRESULT result;
        DWORD chosen;
    } cases[] = {
        {"format block of 20 bytes", {Audio(stereo, 20)}, E_UNEXPECTED, kNoOutput},
        {"video first", {{video, Audio(stereo).format}, Audio(stereo)}, S_OK, 1},
        {"two audio outputs", {Audio(stereo), Audio(PcmFormat(1, 8000, 8))}, S_OK, 0},
        {"a later output fails", {Audio(stereo), Audio(stereo, 18, TRUE)}, E_OUTOFMEMORY, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result, Select(c.outputs));
        EXPECT_EQ(c.chosen, player->Output());
        if (c.chosen != kNoOutput) {
            EXPECT_EQ(0, std::memcmp(player->Format(), &stereo, 18));
        }
    }
}

// Paced host data: blocks at play pace, the partial block held while the stream runs, one end after the silence.
TEST_F(PlayerTest, PacedBlocksKeepPlayPaceAndTheEndFollowsTheSilenceOnce) {
    Open(PcmFormat(2, 44100, 16));
    player->SetPlayWindow(0, 400);
    const auto started = std::chrono::steady_clock::now();
    player->StartPaced();
    player->Feed({6 * 8820 + 100}, 0, 350);
    Await(EVENT_DATA, 6, 150);
    std::vector<DWORD> sizes(6, 8820);
    EXPECT_EQ(sizes, Sizes(EVENT_DATA));
    // The sixth block of 50 ms is due 250 ms into the play, never sooner.
    EXPECT_GE(player->events.back().at - started, std::chrono::milliseconds(250));
    player->MarkStreamEnd(FALSE, S_OK);

    // The state says ended before the end's silence fill gets the lock; the queue, dry by then, must still hand it out.
    EnterCriticalSection(player->Lock());
    player->SayEnded();
    std::thread ending([&] { player->EndStart(0); });
    Sleep(400);
    LeaveCriticalSection(player->Lock());
    ending.join();

    Await(EVENT_END, 1, 200);
    player->StopTicks();
    // The partial block, then silence up to the 401st millisecond.
    sizes.insert(sizes.end(), {100, 8820, 8820, 76});
    EXPECT_EQ(sizes, Sizes(EVENT_DATA));
    EXPECT_EQ(1u, Sizes(EVENT_END).size());
    EXPECT_EQ(static_cast<DWORD>(EVENT_END), player->events.back().code);
}

// Ends that come late leave the current start playing: only the drain of its own buffers ends it, after the silence.
TEST_F(PlayerTest, OnlyTheCurrentStartsEndAndTheDrainOfItsOwnBuffersEndIt) {
    Open(PcmFormat(2, 44100, 16));
    player->SetPlayWindow(0, 500);
    player->Feed(std::vector<DWORD>(2, 8820), 0, 50);
    void *const earlier = TestPlayer::StartContext(0);
    player->NextStart();
    player->WriteIn(7);
    // The reader's end of an earlier start, reported while a seek restarts the reader.
    player->OnStatus(WMT_EOF, S_OK, WMT_TYPE_DWORD, nullptr, earlier);
    player->EndStart(0);
    player->OnOutputEmpty(7);  // a drain before the end of the stream is an underrun
    player->MarkStreamEnd(FALSE, S_OK);
    // The render thread's drain of the previous start's buffers, after this start read its stream to the end.
    player->OnOutputEmpty(6);
    EXPECT_NE(static_cast<DWORD>(PS_ENDED), player->State());
    player->OnOutputEmpty(7);
    // A 500 ms window over 100 ms of medium: 70736 bytes of silence (eight blocks and 176), then the end once played.
    std::vector<DWORD> expected(10, 8820);
    expected.push_back(176);
    EXPECT_EQ(expected, Sizes(EVENT_DATA));
    const Event &end = player->events.back();
    ASSERT_EQ(static_cast<DWORD>(EVENT_END), end.code);
    EXPECT_GE(end.at - player->events[player->events.size() - 2].at, std::chrono::milliseconds(440));
    EXPECT_EQ(static_cast<DWORD>(PS_ENDED), player->State());
}

}  // namespace
