// The writer's file sink interfaces, as the SDK's wmsdk.h declares them (method order and all). One
// copy for both systems: the Linux declarations include it, and so does the Windows build, whose
// mingw-w64 wmsdk.h lacks them. Included after IWMWriterSink is declared.
#pragma once

// mingw-w64's IWMWriterSink has a public destructor; COM interfaces are released, never deleted through.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct IWMWriterFileSink : public IWMWriterSink {
    virtual HRESULT STDMETHODCALLTYPE Open(const WCHAR *pwszFilename) = 0;

protected:
    ~IWMWriterFileSink() = default;
};

struct IWMWriterFileSink2 : public IWMWriterFileSink {
    virtual HRESULT STDMETHODCALLTYPE Start(QWORD cnsStartTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop(QWORD cnsStopTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsStopped(BOOL *pfStopped) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFileDuration(QWORD *pcnsDuration) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFileSize(QWORD *pcbFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE IsClosed(BOOL *pfClosed) = 0;

protected:
    ~IWMWriterFileSink2() = default;
};
#pragma GCC diagnostic pop
