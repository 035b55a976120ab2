// The library's writer sink: hands every byte a Windows Media writer produces (header and data
// units) to a plain callback instead of a file, marking where each written stream begins and ends.
#pragma once

#include "platform/platform.h"

// Codes of the sink callback.
enum WriterSinkCode : DWORD {
    WRITER_SINK_BEGIN = 1,         // the owner is about to begin writing (NotifyBegin)
    WRITER_SINK_HEADER_FIRST = 3,  // the first header of a new stream follows
    WRITER_SINK_DATA = 4,          // header bytes (isHeader 1) or a data unit (isHeader 0)
    WRITER_SINK_END = 5,           // the writer ended writing
};

// user, code, data, length, isHeader; the result is ignored. Runs on whatever thread the writer uses.
typedef void(WINAPI *SinkCallback)(DWORD_PTR user, DWORD code, const BYTE *data, LONG length, BOOL isHeader);

// COM objects are released, never deleted through their interfaces, which have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CWriterSink final : public IWMWriterSink {
public:
    CWriterSink() = default;
    CWriterSink(const CWriterSink &) = delete;
    CWriterSink &operator=(const CWriterSink &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    // Destroys the sink when the count reaches 0.
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer *pHeader) override;
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL *pfRealTime) override;
    HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD cbDataUnit, INSSBuffer **ppDataUnit) override;
    HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer *pDataUnit) override;
    HRESULT STDMETHODCALLTYPE OnEndWriting() override;

    // Set before the sink is added to a writer; the sink takes no lock of its own.
    void SetCallback(SinkCallback callback, DWORD_PTR user);
    // Forwards code 1 (WRITER_SINK_BEGIN) to the callback; any other code is ignored.
    void NotifyBegin(DWORD code);

private:
    ~CWriterSink() = default;
    void Deliver(DWORD code, INSSBuffer *buffer, BOOL isHeader);

    BOOL m_bHeaderPending = TRUE;
    SinkCallback m_callback = nullptr;
    DWORD_PTR m_user = 0;
    LONG m_refCount = 1;
};
#pragma GCC diagnostic pop
