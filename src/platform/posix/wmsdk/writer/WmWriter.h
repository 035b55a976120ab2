// The Windows Media writer on FFmpeg: one PCM input per audio stream of the profile, encoded and muxed
// into ASF for the sinks, on the caller's thread or, in non-blocking mode, on the writer's own.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ComObject.h"
#include "ComPtr.h"
#include "StreamSettings.h"
#include "WmInputProps.h"
#include "WmWriterSession.h"
#include "WmWriterWorker.h"

namespace posix {

class CWmWriter final : public CComObject<IWMWriter, IWMWriterAdvanced3> {
public:
    // One reference; null when memory is short.
    static CWmWriter *Create();

    // IWMWriter
    HRESULT STDMETHODCALLTYPE SetProfileByID(REFGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProfile(IWMProfile *profile) override;
    HRESULT STDMETHODCALLTYPE SetOutputFilename(const WCHAR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputCount(DWORD *count) override;
    HRESULT STDMETHODCALLTYPE GetInputProps(DWORD input, IWMInputMediaProps **props) override;
    HRESULT STDMETHODCALLTYPE SetInputProps(DWORD input, IWMInputMediaProps *props) override;
    HRESULT STDMETHODCALLTYPE GetInputFormatCount(DWORD input, DWORD *count) override;
    HRESULT STDMETHODCALLTYPE GetInputFormat(DWORD input, DWORD format, IWMInputMediaProps **props) override;
    HRESULT STDMETHODCALLTYPE BeginWriting() override;
    HRESULT STDMETHODCALLTYPE EndWriting() override;
    HRESULT STDMETHODCALLTYPE AllocateSample(DWORD size, INSSBuffer **sample) override;
    HRESULT STDMETHODCALLTYPE WriteSample(DWORD input, QWORD time, DWORD flags, INSSBuffer *sample) override;
    HRESULT STDMETHODCALLTYPE Flush() override;

    // IWMWriterAdvanced
    HRESULT STDMETHODCALLTYPE GetSinkCount(DWORD *count) override;
    HRESULT STDMETHODCALLTYPE GetSink(DWORD index, IWMWriterSink **sink) override;
    HRESULT STDMETHODCALLTYPE AddSink(IWMWriterSink *sink) override;
    HRESULT STDMETHODCALLTYPE RemoveSink(IWMWriterSink *sink) override;
    HRESULT STDMETHODCALLTYPE WriteStreamSample(WORD, QWORD, DWORD, QWORD, DWORD, INSSBuffer *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetLiveSource(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL *realTime) override;
    HRESULT STDMETHODCALLTYPE GetWriterTime(QWORD *time) override;
    HRESULT STDMETHODCALLTYPE GetStatistics(WORD, WM_WRITER_STATISTICS *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSyncTolerance(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSyncTolerance(DWORD *) override { return E_NOTIMPL; }

    // IWMWriterAdvanced2
    HRESULT STDMETHODCALLTYPE GetInputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE *, BYTE *, WORD *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetInputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE *, WORD) override {
        return E_NOTIMPL;
    }

    // IWMWriterAdvanced3
    HRESULT STDMETHODCALLTYPE GetStatisticsEx(WORD, WM_WRITER_STATISTICS_EX *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNonBlocking() override;

private:
    void *FindInterface(REFIID riid) override;
    CWmWriter() = default;
    ~CWmWriter();

    // Sinks run under m_lock: a sink calling back into the writer is refused rather than deadlocked.
    bool InSink() const { return m_sinkThread.load() == std::this_thread::get_id(); }
    enum Requires { kAnyTime, kIdle, kWriting };
    // A host call: refused with NS_E_INVALID_REQUEST from inside a sink or in the wrong state (idle: no
    // session open; writing: a session open and not ending), else `answer` runs under m_lock.
    template <class Answer>
    HRESULT Serve(Requires state, Answer answer);
    // The same, E_POINTER first when the call has nowhere to put its result.
    template <class Answer>
    HRESULT Serve(Requires state, const void *out, Answer answer);
    HRESULT Encode(DWORD input, INSSBuffer *sample);

    std::atomic<bool> m_nonBlocking{false};
    std::atomic<std::thread::id> m_sinkThread{};
    std::atomic<QWORD> m_writerTime{0};

    std::mutex m_lock;  // everything below
    std::vector<StreamSettings> m_streams;
    std::vector<ComPtr<CWmInputProps>> m_inputs;
    std::vector<ComPtr<IWMWriterSink>> m_sinks;
    std::unique_ptr<CWmWriterSession> m_session;  // while writing
    std::shared_ptr<CWmWriterWorker> m_worker;    // while writing in non-blocking mode
    // The last samples written, kept until writing ends: Windows holds on to written samples, so one
    // written again while the writer may still hold it is refused here rather than garbled there.
    std::array<ComPtr<INSSBuffer>, 4> m_written;
    size_t m_nextWritten = 0;
    bool m_ending = false;
};

}  // namespace posix
