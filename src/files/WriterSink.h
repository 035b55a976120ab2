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

class CWriterSink final : public CComObject<IWMWriterSink> {
public:
    CWriterSink() = default;

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
    ~CWriterSink() override = default;
    void *FindInterface(REFIID riid) override;
    void Deliver(DWORD code, INSSBuffer *buffer, BOOL isHeader);

    BOOL m_bHeaderPending = TRUE;
    SinkCallback m_callback = nullptr;
    DWORD_PTR m_user = 0;
};
