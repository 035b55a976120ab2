#include "WmFileSink.h"

#include <cerrno>
#include <new>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "NssBuffer.h"
#include "Property.h"
#include "kernel32.h"

namespace posix {

CWmFileSink *CWmFileSink::Create() { return new (std::nothrow) CWmFileSink(); }

CWmFileSink::~CWmFileSink() { CloseFile(); }

void *CWmFileSink::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IWMWriterSink || riid == IID_IWMWriterFileSink ||
        riid == IID_IWMWriterFileSink2)
        return static_cast<IWMWriterFileSink2 *>(this);
    if (riid == IID_IWmFinalHeaderSink) return static_cast<IWmFinalHeaderSink *>(this);
    return nullptr;
}

HRESULT CWmFileSink::WriteAt(ULONGLONG offset, INSSBuffer *buffer, DWORD *written) {
    BYTE *data = nullptr;
    DWORD length = 0;
    if (!buffer) return E_POINTER;
    if (m_file < 0) return NS_E_INVALID_REQUEST;
    const HRESULT hr = buffer->GetBufferAndLength(&data, &length);
    if (FAILED(hr)) return hr;
    if (length && !data) return E_INVALIDARG;
    for (DWORD done = 0; done < length;) {
        const ssize_t put = ::pwrite(m_file, data + done, length - done, off_t(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            m_failure = NS_E_FILE_WRITE;
            return m_failure;
        }
        done += DWORD(put);
    }
    *written = length;
    return S_OK;
}

HRESULT CWmFileSink::OnHeader(INSSBuffer *header) {
    std::lock_guard<std::mutex> hold(m_lock);
    DWORD length = 0;
    if (!m_hasData) {
        const HRESULT hr = WriteAt(0, header, &length);
        if (SUCCEEDED(hr) && ::ftruncate(m_file, off_t(length)) == 0) m_size = m_headerSize = length;
        return FAILED(hr) ? hr : m_size == length ? S_OK : NS_E_FILE_WRITE;
    }
    // Once data follows the header, only a header of the same length can take its place.
    DWORD incoming = 0;
    if (header && SUCCEEDED(header->GetLength(&incoming)) && incoming != m_headerSize) return E_INVALIDARG;
    return WriteAt(0, header, &length);
}

HRESULT CWmFileSink::OnFinalHeader(INSSBuffer *header) { return OnHeader(header); }

HRESULT CWmFileSink::IsRealTime(BOOL *realTime) { return PutValue(realTime, FALSE); }

HRESULT CWmFileSink::AllocateDataUnit(DWORD size, INSSBuffer **unit) {
    if (!unit) return E_POINTER;
    if (size == 0) return E_INVALIDARG;
    *unit = CNssBuffer::Create(size);
    return *unit ? S_OK : E_OUTOFMEMORY;
}

HRESULT CWmFileSink::OnDataUnit(INSSBuffer *unit) {
    std::lock_guard<std::mutex> hold(m_lock);
    DWORD length = 0;
    const HRESULT hr = WriteAt(m_size, unit, &length);
    if (SUCCEEDED(hr)) {
        m_size += length;
        m_hasData = true;
    }
    return hr;
}

HRESULT CWmFileSink::OnEndWriting() {
    std::lock_guard<std::mutex> hold(m_lock);
    const HRESULT failure = m_failure;
    // Some file systems report bytes they could not store only when the file is closed.
    const bool closed = CloseFile();
    return FAILED(failure) || closed ? failure : NS_E_FILE_WRITE;
}

HRESULT CWmFileSink::Open(const WCHAR *path) {
    if (!path) return E_POINTER;
    const int length = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return E_INVALIDARG;
    std::vector<char> name(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, -1, name.data(), length, nullptr, nullptr);
    std::lock_guard<std::mutex> hold(m_lock);
    // A file left open by an unfinished session is given up for the new one.
    CloseFile();
    m_size = 0;
    m_file = ::open(name.data(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return m_file < 0 ? NS_E_FILE_OPEN_FAILED : S_OK;
}

HRESULT CWmFileSink::IsStopped(BOOL *stopped) { return PutValue(stopped, FALSE); }

HRESULT CWmFileSink::GetFileSize(QWORD *size) {
    std::lock_guard<std::mutex> hold(m_lock);
    return PutValue(size, m_size);
}

HRESULT CWmFileSink::Close() {
    // Closing a file the end of writing already closed is no failure.
    std::lock_guard<std::mutex> hold(m_lock);
    CloseFile();
    return S_OK;
}

HRESULT CWmFileSink::IsClosed(BOOL *closed) {
    std::lock_guard<std::mutex> hold(m_lock);
    return PutValue(closed, BOOL(m_file < 0));
}

bool CWmFileSink::CloseFile() {
    const bool closed = m_file < 0 || ::close(m_file) == 0;
    m_file = -1;
    m_headerSize = 0;
    m_hasData = false;
    m_failure = S_OK;
    return closed;
}

}  // namespace posix

HRESULT WMCreateWriterFileSink(IWMWriterFileSink **sink) {
    if (!sink) return E_POINTER;
    *sink = posix::CWmFileSink::Create();
    return *sink ? S_OK : E_OUTOFMEMORY;
}
