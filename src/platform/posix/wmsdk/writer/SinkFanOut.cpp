#include "SinkFanOut.h"

#include <cstring>

#include "FinalHeaderSink.h"
#include "NssBuffer.h"

namespace posix {

namespace {

// Copies data into buffer if it can take size bytes; false when it cannot.
bool Fill(INSSBuffer *buffer, const BYTE *data, DWORD size) {
    DWORD capacity = 0;
    BYTE *bytes = nullptr;
    if (!buffer || FAILED(buffer->GetMaxLength(&capacity)) || capacity < size || FAILED(buffer->GetBuffer(&bytes)) ||
        !bytes)
        return false;
    if (size) std::memcpy(bytes, data, size);
    return SUCCEEDED(buffer->SetLength(size));
}

HRESULT OwnBuffer(const BYTE *data, DWORD size, ComPtr<INSSBuffer> &buffer) {
    buffer = ComPtr<INSSBuffer>::Adopt(CNssBuffer::Create(size));
    if (!buffer) return E_OUTOFMEMORY;
    return Fill(buffer.Get(), data, size) ? S_OK : E_UNEXPECTED;
}

void Keep(HRESULT &first, HRESULT hr) {
    if (SUCCEEDED(first) && FAILED(hr)) first = hr;
}

}  // namespace

HRESULT CSinkFanOut::Header(const std::vector<BYTE> &header) {
    HRESULT result = S_OK;
    for (const ComPtr<IWMWriterSink> &sink : m_sinks) {
        // Each sink gets a buffer of its own: what one sink does to it cannot reach the next.
        ComPtr<INSSBuffer> buffer;
        HRESULT hr = OwnBuffer(header.data(), DWORD(header.size()), buffer);
        if (SUCCEEDED(hr)) hr = sink->OnHeader(buffer.Get());
        Keep(result, hr);
    }
    return result;
}

HRESULT CSinkFanOut::DataUnit(const BYTE *data, DWORD size) {
    HRESULT result = S_OK;
    for (const ComPtr<IWMWriterSink> &sink : m_sinks) {
        // Per COM rules the out pointer means nothing after a failure: it is neither used nor released.
        INSSBuffer *allocated = nullptr;
        HRESULT hr = sink->AllocateDataUnit(size, &allocated);
        ComPtr<INSSBuffer> buffer = SUCCEEDED(hr) ? ComPtr<INSSBuffer>::Adopt(allocated) : ComPtr<INSSBuffer>();
        if (FAILED(hr) || !Fill(buffer.Get(), data, size)) hr = OwnBuffer(data, size, buffer);
        if (SUCCEEDED(hr)) hr = sink->OnDataUnit(buffer.Get());
        Keep(result, hr);
    }
    return result;
}

HRESULT CSinkFanOut::FinalHeader(const std::vector<BYTE> &header) {
    HRESULT result = S_OK;
    for (const ComPtr<IWMWriterSink> &sink : m_sinks) {
        ComPtr<IWmFinalHeaderSink> fileSink;
        if (FAILED(sink->QueryInterface(IID_IWmFinalHeaderSink, reinterpret_cast<void **>(fileSink.Receive()))) ||
            !fileSink)
            continue;
        ComPtr<INSSBuffer> buffer;
        HRESULT hr = OwnBuffer(header.data(), DWORD(header.size()), buffer);
        if (SUCCEEDED(hr)) hr = fileSink->OnFinalHeader(buffer.Get());
        Keep(result, hr);
    }
    return result;
}

HRESULT CSinkFanOut::End() {
    HRESULT result = S_OK;
    for (const ComPtr<IWMWriterSink> &sink : m_sinks) Keep(result, sink->OnEndWriting());
    return result;
}

}  // namespace posix
