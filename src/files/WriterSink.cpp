#include "files/WriterSink.h"

#include <new>

#include "files/SampleBuffer.h"

void *CWriterSink::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWMWriterSink))
        return static_cast<IWMWriterSink *>(this);
    return nullptr;
}

HRESULT CWriterSink::OnHeader(INSSBuffer *pHeader) {
    if (m_bHeaderPending && m_callback) {
        m_callback(m_user, WRITER_SINK_HEADER_FIRST, nullptr, 0, FALSE);
        m_bHeaderPending = FALSE;
    }
    Deliver(WRITER_SINK_DATA, pHeader, TRUE);
    return S_OK;
}

HRESULT CWriterSink::IsRealTime(BOOL *pfRealTime) {
    if (pfRealTime) *pfRealTime = FALSE;
    return S_OK;
}

HRESULT CWriterSink::AllocateDataUnit(DWORD cbDataUnit, INSSBuffer **ppDataUnit) {
    if (!ppDataUnit || cbDataUnit == 0) return E_INVALIDARG;
    CSampleBuffer *buffer = new (std::nothrow) CSampleBuffer(nullptr);
    if (!buffer) return E_FAIL;
    if (FAILED(buffer->SetCapacity(cbDataUnit))) {
        buffer->Release();
        return E_FAIL;
    }
    *ppDataUnit = buffer;
    return S_OK;
}

HRESULT CWriterSink::OnDataUnit(INSSBuffer *pDataUnit) {
    Deliver(WRITER_SINK_DATA, pDataUnit, FALSE);
    return S_OK;
}

HRESULT CWriterSink::OnEndWriting() {
    if (m_callback) m_callback(m_user, WRITER_SINK_END, nullptr, 0, FALSE);
    m_bHeaderPending = TRUE;
    return S_OK;
}

void CWriterSink::SetCallback(SinkCallback callback, DWORD_PTR user) {
    m_callback = callback;
    m_user = user;
}

void CWriterSink::NotifyBegin(DWORD code) {
    if (code == WRITER_SINK_BEGIN && m_callback) m_callback(m_user, WRITER_SINK_BEGIN, nullptr, 0, FALSE);
}

void CWriterSink::Deliver(DWORD code, INSSBuffer *buffer, BOOL isHeader) {
    if (!buffer || !m_callback) return;
    BYTE *data = nullptr;
    DWORD length = 0;
    if (FAILED(buffer->GetBufferAndLength(&data, &length))) return;
    if (data && static_cast<LONG>(length) > 0) m_callback(m_user, code, data, static_cast<LONG>(length), isHeader);
}
