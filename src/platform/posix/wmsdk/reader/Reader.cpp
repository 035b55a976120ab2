#include "Reader.h"

#include <cstring>
#include <new>
#include <string>

#include "OutputMediaProps.h"
#include "StreamConfig.h"
#include "StringProperty.h"

namespace posix {
namespace {

struct Attribute {
    const char16_t *name;
    WMT_ATTR_DATATYPE type;
    WORD size;
    BYTE value[8];
};

// The header attributes of the whole file (stream 0); "Duration" only when the medium knows it.
int FileAttributes(const MediaInfo &info, Attribute (&attributes)[3])
{
    int count = 0;
    if (info.hasDuration) {
        attributes[count] = {g_wszWMDuration, WMT_TYPE_QWORD, sizeof(QWORD), {}};
        std::memcpy(attributes[count++].value, &info.duration, sizeof(QWORD));
    }
    const BOOL broadcast = FALSE;
    attributes[count] = {g_wszWMSeekable, WMT_TYPE_BOOL, sizeof(BOOL), {}};
    std::memcpy(attributes[count++].value, &info.seekable, sizeof(BOOL));
    attributes[count] = {g_wszWMBroadcast, WMT_TYPE_BOOL, sizeof(BOOL), {}};
    std::memcpy(attributes[count++].value, &broadcast, sizeof(BOOL));
    return count;
}

// The value half of the two-call protocol: no buffer learns the size, a short one is refused.
HRESULT CopyValue(const Attribute &attribute, WMT_ATTR_DATATYPE *type, BYTE *value, WORD *length)
{
    if (value && *length < attribute.size) {
        *length = attribute.size;
        return ASF_E_BUFFERTOOSMALL;
    }
    if (value)
        std::memcpy(value, attribute.value, attribute.size);
    *length = attribute.size;
    *type = attribute.type;
    return S_OK;
}

}  // namespace

CReader *CReader::Create()
{
    CReaderWorker *worker = CReaderWorker::Create();
    if (!worker)
        return nullptr;
    CReader *reader = new (std::nothrow) CReader(worker);
    if (!reader)
        CReaderWorker::Dispose(worker);
    return reader;
}

CReader::~CReader() { CReaderWorker::Dispose(m_worker); }

HRESULT CReader::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWMReader)
        *object = static_cast<IWMReader *>(this);
    else if (riid == IID_IWMReaderAdvanced || riid == IID_IWMReaderAdvanced2)
        *object = static_cast<IWMReaderAdvanced2 *>(this);
    else if (riid == IID_IWMHeaderInfo)
        *object = static_cast<IWMHeaderInfo *>(this);
    else if (riid == IID_IWMProfile)
        *object = static_cast<IWMProfile *>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CReader::AddRef() { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CReader::Release()
{
    const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CReader::BeginOpen(CReaderWorker::Request request)
{
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    if (m_worker->StateLocked() != CReaderWorker::kClosed)
        return E_UNEXPECTED;
    if (!m_worker->PostLocked(std::move(request)))
        return E_OUTOFMEMORY;
    m_worker->SetStateLocked(CReaderWorker::kOpening);
    return S_OK;
}

HRESULT CReader::Post(CReaderWorker::Request request, CReaderWorker::State required, HRESULT otherwise)
{
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    if (m_worker->StateLocked() != required)
        return otherwise;
    return m_worker->PostLocked(std::move(request)) ? S_OK : E_OUTOFMEMORY;
}

std::shared_ptr<const MediaInfo> CReader::Info(HRESULT &hr)
{
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    std::shared_ptr<const MediaInfo> info = m_worker->InfoLocked();
    hr = info ? S_OK : NS_E_INVALID_REQUEST;
    return info;
}

HRESULT CReader::Open(const WCHAR *url, IWMReaderCallback *callback, void *context)
{
    if (!url || !callback)
        return E_INVALIDARG;
    CReaderWorker::Request request{CReaderWorker::Request::kOpenMedium};
    try {
        request.path = url;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    request.callback = ComPtr<IWMReaderCallback>::Share(callback);
    request.context = context;
    return BeginOpen(std::move(request));
}

HRESULT CReader::OpenStream(IStream *stream, IWMReaderCallback *callback, void *context)
{
    if (!stream || !callback)
        return E_INVALIDARG;
    CReaderWorker::Request request{CReaderWorker::Request::kOpenMedium};
    request.stream = ComPtr<IStream>::Share(stream);
    request.callback = ComPtr<IWMReaderCallback>::Share(callback);
    request.context = context;
    return BeginOpen(std::move(request));
}

HRESULT CReader::Close()
{
    std::unique_lock<std::mutex> hold(m_worker->Lock());
    const CReaderWorker::State state = m_worker->StateLocked();
    if (state == CReaderWorker::kClosed || state == CReaderWorker::kClosing)
        return NS_E_INVALID_REQUEST;
    const uint64_t sequence = m_worker->PostLocked({CReaderWorker::Request::kClose});
    if (!sequence)
        return E_OUTOFMEMORY;
    m_worker->SetStateLocked(CReaderWorker::kClosing);
    // The closed status reaches the host before Close returns, as with the runtime.
    m_worker->WaitDone(hold, sequence);
    return S_OK;
}

HRESULT CReader::GetOutputCount(DWORD *count)
{
    if (!count)
        return E_INVALIDARG;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (info)
        *count = DWORD(info->outputs.size());
    return hr;
}

HRESULT CReader::GetOutputType(DWORD output, IWMOutputMediaProps **props)
{
    if (!props)
        return E_INVALIDARG;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (!info)
        return hr;
    if (output >= info->outputs.size())
        return E_INVALIDARG;
    COutputMediaProps *created = COutputMediaProps::Create(info->outputs[output].type);
    if (!created)
        return E_OUTOFMEMORY;
    *props = created;
    return S_OK;
}

HRESULT CReader::GetOutputProps(DWORD output, IWMOutputMediaProps **props) { return GetOutputType(output, props); }

// Outputs give their one format; asking for that one is accepted, anything else refused.
HRESULT CReader::SetOutputProps(DWORD output, IWMOutputMediaProps *props)
{
    if (!props)
        return E_POINTER;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (!info)
        return hr;
    if (output >= info->outputs.size())
        return E_INVALIDARG;
    DWORD size = 0;
    if (FAILED(hr = props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE))
        return FAILED(hr) ? hr : E_INVALIDARG;
    std::unique_ptr<BYTE[]> storage(new (std::nothrow) BYTE[size]);
    if (!storage)
        return E_OUTOFMEMORY;
    WM_MEDIA_TYPE *record = reinterpret_cast<WM_MEDIA_TYPE *>(storage.get());
    if (FAILED(hr = props->GetMediaType(record, &size)))
        return hr;
    CMediaType wanted;
    if (FAILED(hr = wanted.Assign(record)))
        return hr;
    return wanted == info->outputs[output].type ? S_OK : NS_E_INVALID_OUTPUT_FORMAT;
}

HRESULT CReader::GetOutputFormatCount(DWORD output, DWORD *count)
{
    if (!count)
        return E_INVALIDARG;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (!info)
        return hr;
    if (output >= info->outputs.size())
        return E_INVALIDARG;
    *count = 1;
    return S_OK;
}

HRESULT CReader::GetOutputFormat(DWORD output, DWORD format, IWMOutputMediaProps **props)
{
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (info && output < info->outputs.size() && format != 0)
        return NS_E_INVALID_OUTPUT_FORMAT;
    return GetOutputType(output, props);
}

HRESULT CReader::Start(QWORD start, QWORD duration, float rate, void *context)
{
    // Only normal speed: the library stretches time itself.
    if (rate != 1.0f)
        return E_INVALIDARG;
    CReaderWorker::Request request{CReaderWorker::Request::kStart};
    request.start = start;
    request.duration = duration;
    request.context = context;
    return Post(std::move(request), CReaderWorker::kOpen, NS_E_INVALID_REQUEST);
}

HRESULT CReader::Stop() { return Post({CReaderWorker::Request::kStop}, CReaderWorker::kOpen, E_UNEXPECTED); }

HRESULT CReader::Pause() { return Post({CReaderWorker::Request::kPause}, CReaderWorker::kOpen, NS_E_INVALID_REQUEST); }

HRESULT CReader::Resume()
{
    return Post({CReaderWorker::Request::kResume}, CReaderWorker::kOpen, NS_E_INVALID_REQUEST);
}

HRESULT CReader::SetUserProvidedClock(BOOL userClock)
{
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    CReaderWorker::Request request{CReaderWorker::Request::kClock};
    request.userClock = userClock != FALSE;
    if (!m_worker->PostLocked(std::move(request)))
        return E_OUTOFMEMORY;
    m_userClock = userClock != FALSE;
    return S_OK;
}

HRESULT CReader::GetUserProvidedClock(BOOL *userClock)
{
    if (!userClock)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    *userClock = m_userClock ? TRUE : FALSE;
    return S_OK;
}

HRESULT CReader::DeliverTime(QWORD time)
{
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    if (!m_userClock)
        return E_UNEXPECTED;
    if (m_worker->StateLocked() != CReaderWorker::kOpen)
        return NS_E_INVALID_REQUEST;
    CReaderWorker::Request request{CReaderWorker::Request::kDeliverTime};
    request.time = time;
    return m_worker->PostLocked(std::move(request)) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CReader::SetAllocateForOutput(DWORD output, BOOL allocate)
{
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    std::vector<BOOL> &flags = m_worker->AllocateLocked();
    if (!m_worker->InfoLocked())
        return NS_E_INVALID_REQUEST;
    if (output >= flags.size())
        return E_INVALIDARG;
    flags[output] = allocate ? TRUE : FALSE;
    return S_OK;
}

HRESULT CReader::GetAllocateForOutput(DWORD output, BOOL *allocate)
{
    if (!allocate)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    const std::vector<BOOL> &flags = m_worker->AllocateLocked();
    if (!m_worker->InfoLocked())
        return NS_E_INVALID_REQUEST;
    if (output >= flags.size())
        return E_INVALIDARG;
    *allocate = flags[output];
    return S_OK;
}

HRESULT CReader::GetMaxOutputSampleSize(DWORD output, DWORD *size)
{
    if (!size)
        return E_INVALIDARG;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (!info)
        return hr;
    if (output >= info->outputs.size())
        return E_INVALIDARG;
    *size = info->outputs[output].maxSampleBytes;
    return S_OK;
}

HRESULT CReader::GetAttributeCount(WORD stream, WORD *count)
{
    if (!count)
        return E_INVALIDARG;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (!info)
        return hr;
    Attribute attributes[3];
    *count = stream == 0 ? WORD(FileAttributes(*info, attributes)) : 0;
    return S_OK;
}

HRESULT CReader::GetAttributeByIndex(WORD index, WORD *stream, WCHAR *name, WORD *nameLength,
                                     WMT_ATTR_DATATYPE *type, BYTE *value, WORD *length)
{
    if (!stream || !nameLength || !type || !length)
        return E_INVALIDARG;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (!info)
        return hr;
    Attribute attributes[3];
    const int count = *stream == 0 ? FileAttributes(*info, attributes) : 0;
    if (index >= count)
        return E_INVALIDARG;
    if (FAILED(hr = CopyWideString(attributes[index].name, name, nameLength)))
        return hr;
    return CopyValue(attributes[index], type, value, length);
}

HRESULT CReader::GetAttributeByName(WORD *stream, LPCWSTR name, WMT_ATTR_DATATYPE *type, BYTE *value, WORD *length)
{
    if (!stream || !name || !type || !length)
        return E_INVALIDARG;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (!info)
        return hr;
    if (*stream != 0)
        return ASF_E_NOTFOUND;
    Attribute attributes[3];
    const int count = FileAttributes(*info, attributes);
    const std::u16string wanted(name);
    for (int i = 0; i < count; ++i) {
        if (wanted == attributes[i].name)
            return CopyValue(attributes[i], type, value, length);
    }
    return ASF_E_NOTFOUND;
}

HRESULT CReader::GetMarkerCount(WORD *count)
{
    if (!count)
        return E_INVALIDARG;
    *count = 0;
    return S_OK;
}

HRESULT CReader::GetScriptCount(WORD *count)
{
    if (!count)
        return E_INVALIDARG;
    *count = 0;
    return S_OK;
}

HRESULT CReader::GetVersion(WMT_VERSION *version)
{
    if (!version)
        return E_INVALIDARG;
    *version = WMT_VER_9_0;
    return S_OK;
}

HRESULT CReader::GetName(WCHAR *name, DWORD *length) { return CopyWideString(u"", name, length); }

HRESULT CReader::GetDescription(WCHAR *description, DWORD *length) { return CopyWideString(u"", description, length); }

HRESULT CReader::GetStreamCount(DWORD *count)
{
    if (!count)
        return E_INVALIDARG;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (info)
        *count = DWORD(info->streams.size());
    return hr;
}

HRESULT CReader::GetStream(DWORD index, IWMStreamConfig **config)
{
    if (!config)
        return E_INVALIDARG;
    HRESULT hr;
    const std::shared_ptr<const MediaInfo> info = Info(hr);
    if (!info)
        return hr;
    if (index >= info->streams.size())
        return E_INVALIDARG;
    const MediaStreamInfo &stream = info->streams[index];
    IWMStreamConfig *created = CStreamConfig::Create(stream.number, stream.type, stream.bitrate, 0);
    if (!created)
        return E_OUTOFMEMORY;
    *config = created;
    return S_OK;
}

HRESULT CReader::GetStreamByNumber(WORD number, IWMStreamConfig **config)
{
    if (number == 0)
        return E_INVALIDARG;
    return GetStream(DWORD(number - 1), config);
}

HRESULT CReader::GetMutualExclusionCount(DWORD *count)
{
    if (!count)
        return E_INVALIDARG;
    *count = 0;
    return S_OK;
}

}  // namespace posix

HRESULT WMCreateReader(IUnknown *, DWORD, IWMReader **reader)
{
    if (!reader)
        return E_POINTER;
    posix::CReader *created = posix::CReader::Create();
    *reader = created;
    return created ? S_OK : E_OUTOFMEMORY;
}
