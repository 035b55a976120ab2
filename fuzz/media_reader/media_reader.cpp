// Any byte sequence as a medium in memory, through the media reader as a player drives it: opened
// from a stream, its first audio output chosen, decoded on a user clock a second at a time to the end
// (or to a bound), then stopped and closed. Every status the reader owes must come, and in time.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "playback/MemoryStream.h"
#include "reader_callback.h"

namespace {

constexpr DWORD kStatusWaitMs = 5000;
constexpr QWORD kSecond = 10000000;
// A damaged header may promise hours: past this much media or PCM the run is stopped, as a host would.
constexpr QWORD kLastTime = 600 * kSecond;
constexpr size_t kMostPcm = 64u << 20;

// The reader's callback: records the statuses and moves the user clock on at each OnTime.
class CDriver : public CReaderCallback {
public:
    IWMReaderAdvanced *clock = nullptr;

    // Waits until one of the statuses has come; false on time-out.
    bool WaitFor(WMT_STATUS a, WMT_STATUS b) {
        return Await(kStatusWaitMs, [&] {
            bool met = false;
            for (WMT_STATUS s : statuses) met = met || s == a || s == b;
            return met;
        });
    }
    // True once the run has gone as far as it may.
    bool Bounded() {
        EnterCriticalSection(&m_lock);
        const bool bounded = m_next >= kLastTime || m_pcm >= kMostPcm;
        LeaveCriticalSection(&m_lock);
        return bounded;
    }

private:
    // Gives the reader one second more unless the run is bounded; called on the reader's threads.
    void Advance() {
        EnterCriticalSection(&m_lock);
        const bool more = m_next < kLastTime && m_pcm < kMostPcm;
        const QWORD next = more ? (m_next += kSecond) : 0;
        LeaveCriticalSection(&m_lock);
        if (more && clock)
            clock->DeliverTime(next);
        else
            SetEvent(m_changed);
    }

    // Lives on the fuzzer's stack and keeps its own reference: reaching 0 is a reader's excess Release.
    void OnFinalRelease() override { std::abort(); }

    HRESULT STDMETHODCALLTYPE OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE *, void *) override {
        Record(status, hr);
        if (status == WMT_STARTED) Advance();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer *sample, void *) override {
        BYTE *data = nullptr;
        DWORD length = 0;
        if (FAILED(sample->GetBufferAndLength(&data, &length)) || (length && !data)) std::abort();
        // Every byte the reader hands over must be readable.
        volatile BYTE sum = 0;
        for (DWORD i = 0; i < length; ++i) sum = BYTE(sum + data[i]);
        EnterCriticalSection(&m_lock);
        m_pcm += length;
        LeaveCriticalSection(&m_lock);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStreamSample(WORD, QWORD, QWORD, DWORD, INSSBuffer *, void *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnTime(QWORD, void *) override {
        Advance();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStreamSelection(WORD, WORD *, WMT_STREAM_SELECTION *, void *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE *, void *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AllocateForStream(WORD, DWORD, INSSBuffer **, void *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AllocateForOutput(DWORD, DWORD, INSSBuffer **, void *) override { return E_NOTIMPL; }

    QWORD m_next = 0;
    size_t m_pcm = 0;
};

// The first audio output with an 18-byte PCM format, as the player chooses it; -1 when there is none.
long FirstAudioOutput(IWMReader *reader) {
    DWORD count = 0;
    if (FAILED(reader->GetOutputCount(&count))) return -1;
    for (DWORD output = 0; output < count; ++output) {
        IWMOutputMediaProps *props = nullptr;
        if (FAILED(reader->GetOutputProps(output, &props))) continue;
        DWORD size = 0;
        std::vector<BYTE> type;
        bool audio = false;
        if (SUCCEEDED(props->GetMediaType(nullptr, &size)) && size >= sizeof(WM_MEDIA_TYPE)) {
            type.resize(size);
            WM_MEDIA_TYPE *media = reinterpret_cast<WM_MEDIA_TYPE *>(type.data());
            audio = SUCCEEDED(props->GetMediaType(media, &size)) && IsEqualGUID(media->majortype, WMMEDIATYPE_Audio) &&
                    media->cbFormat == 18 && media->pbFormat;
        }
        props->Release();
        if (audio) return long(output);
    }
    return -1;
}

void Play(IWMReader *reader, CDriver &driver) {
    IWMReaderAdvanced *advanced = nullptr;
    if (FAILED(reader->QueryInterface(IID_IWMReaderAdvanced, reinterpret_cast<void **>(&advanced)))) std::abort();
    const long output = FirstAudioOutput(reader);
    if (output >= 0 && SUCCEEDED(advanced->SetUserProvidedClock(TRUE))) {
        driver.clock = advanced;
        if (SUCCEEDED(reader->Start(0, 0, 1.0f, nullptr))) {
            // The end of the medium, or the bound: a reader that stops short of both has hung.
            const DWORD begin = GetTickCount();
            while (!driver.WaitFor(WMT_EOF, WMT_END_OF_SEGMENT) && !driver.Bounded())
                if (GetTickCount() - begin > 4 * kStatusWaitMs) std::abort();
            reader->Stop();
        }
    }
    advanced->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<BYTE> image(data, data + size);
    CMemoryStream *stream = new CMemoryStream();
    if (FAILED(stream->Attach(image.data(), DWORD(image.size()), 0, nullptr))) std::abort();
    CDriver driver;
    IWMReader *reader = nullptr;
    IWMReaderAdvanced2 *advanced = nullptr;
    if (FAILED(WMCreateReader(nullptr, 0, &reader)) ||
        FAILED(reader->QueryInterface(IID_IWMReaderAdvanced2, reinterpret_cast<void **>(&advanced))))
        std::abort();
    if (SUCCEEDED(advanced->OpenStream(stream, &driver, nullptr))) {
        // An open that was taken must report how it went.
        if (!driver.WaitFor(WMT_OPENED, WMT_OPENED)) std::abort();
        if (SUCCEEDED(driver.ResultOf(WMT_OPENED))) Play(reader, driver);
    }
    // A close that was taken reports its end; the callback must outlive that report.
    if (SUCCEEDED(reader->Close()) && !driver.WaitFor(WMT_CLOSED, WMT_CLOSED)) std::abort();
    advanced->Release();
    reader->Release();
    stream->Release();
    return 0;
}
