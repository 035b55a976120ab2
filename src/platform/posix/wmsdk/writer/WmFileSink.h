// The file sink: header, data units, then the writer's final header over the first, so a finished file
// has its sizes and duration and can be seeked. The end of writing closes the file; Open starts the next.
#pragma once

#include <mutex>

#include "platform/ComObject.h"
#include "FinalHeaderSink.h"

namespace posix {

class CWmFileSink final : public CComObject<IWMWriterFileSink2, IWmFinalHeaderSink> {
public:
    // One reference; null when memory is short.
    static CWmFileSink *Create();

    // IWMWriterSink
    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer *header) override;
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL *realTime) override;
    HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD size, INSSBuffer **unit) override;
    HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer *unit) override;
    HRESULT STDMETHODCALLTYPE OnEndWriting() override;

    // IWMWriterFileSink, IWMWriterFileSink2
    HRESULT STDMETHODCALLTYPE Open(const WCHAR *path) override;
    HRESULT STDMETHODCALLTYPE Start(QWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop(QWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsStopped(BOOL *stopped) override;
    HRESULT STDMETHODCALLTYPE GetFileDuration(QWORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFileSize(QWORD *size) override;
    HRESULT STDMETHODCALLTYPE Close() override;
    HRESULT STDMETHODCALLTYPE IsClosed(BOOL *closed) override;

    HRESULT STDMETHODCALLTYPE OnFinalHeader(INSSBuffer *header) override;

private:
    void *FindInterface(REFIID riid) override;
    CWmFileSink() = default;
    ~CWmFileSink();

    HRESULT WriteAt(ULONGLONG offset, INSSBuffer *buffer, DWORD *written);
    // False when closing reported a failure.
    bool CloseFile();

    std::mutex m_lock;  // everything below
    int m_file = -1;
    DWORD m_headerSize = 0;
    ULONGLONG m_size = 0;
    bool m_hasData = false;
    HRESULT m_failure = S_OK;
};

}  // namespace posix
