#include "Reader.h"

#include <cstring>
#include <new>
#include <string_view>

#include "OutputMediaProps.h"
#include "StreamConfig.h"
#include "Property.h"

namespace posix {
namespace {

struct Attribute {
    const char16_t *name;
    WMT_ATTR_DATATYPE type;
    WORD size;
    BYTE value[8];
};

// The header attributes of the whole file (stream 0); "Duration" only when the medium knows it.
int FileAttributes(const MediaInfo &info, Attribute (&attributes)[3]) {
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
HRESULT CopyValue(const Attribute &attribute, WMT_ATTR_DATATYPE *type, BYTE *value, WORD *length) {
    if (value && *length < attribute.size) {
        *length = attribute.size;
        return ASF_E_BUFFERTOOSMALL;
    }
    if (value) std::memcpy(value, attribute.value, attribute.size);
    *length = attribute.size;
    *type = attribute.type;
    return S_OK;
}

}  // namespace

CReader *CReader::Create() {
    CReaderWorker *worker = CReaderWorker::Create();
    if (!worker) return nullptr;
    CReader *reader = new (std::nothrow) CReader(worker);
    if (!reader) CReaderWorker::Dispose(worker);
    return reader;
}

CReader::~CReader() { CReaderWorker::Dispose(m_worker); }

void *CReader::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IWMReader) return static_cast<IWMReader *>(this);
    if (riid == IID_IWMReaderAdvanced || riid == IID_IWMReaderAdvanced2) return static_cast<IWMReaderAdvanced2 *>(this);
    if (riid == IID_IWMHeaderInfo) return static_cast<IWMHeaderInfo *>(this);
    if (riid == IID_IWMProfile) return static_cast<IWMProfile *>(this);
    return nullptr;
}

HRESULT CReader::BeginOpen(CReaderWorker::Request request) {
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    if (m_worker->StateLocked() != CReaderWorker::kClosed) return E_UNEXPECTED;
    if (!m_worker->PostLocked(std::move(request))) return E_OUTOFMEMORY;
    m_worker->SetStateLocked(CReaderWorker::kOpening);
    return S_OK;
}

HRESULT CReader::Post(CReaderWorker::Request request, CReaderWorker::State required, HRESULT otherwise) {
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    if (m_worker->StateLocked() != required) return otherwise;
    return m_worker->PostLocked(std::move(request)) ? S_OK : E_OUTOFMEMORY;
}

std::shared_ptr<const MediaInfo> CReader::Medium() {
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    return m_worker->InfoLocked();
}

template <class Answer>
HRESULT CReader::WithMedium(const void *out, Answer answer) {
    if (!out) return E_INVALIDARG;
    const std::shared_ptr<const MediaInfo> info = Medium();
    return info ? answer(*info) : NS_E_INVALID_REQUEST;
}

template <class Answer>
HRESULT CReader::WithOutput(DWORD output, const void *out, Answer answer) {
    return WithMedium(out, [&](const MediaInfo &info) {
        return output < info.outputs.size() ? answer(info.outputs[output]) : E_INVALIDARG;
    });
}

template <class Use>
HRESULT CReader::WithAllocateFlag(DWORD output, Use use) {
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    std::vector<BOOL> &flags = m_worker->AllocateLocked();
    if (!m_worker->InfoLocked()) return NS_E_INVALID_REQUEST;
    if (output >= flags.size()) return E_INVALIDARG;
    use(flags[output]);
    return S_OK;
}

HRESULT CReader::Open(const WCHAR *url, IWMReaderCallback *callback, void *context) {
    if (!url || !callback) return E_INVALIDARG;
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

HRESULT CReader::OpenStream(IStream *stream, IWMReaderCallback *callback, void *context) {
    if (!stream || !callback) return E_INVALIDARG;
    CReaderWorker::Request request{CReaderWorker::Request::kOpenMedium};
    request.stream = ComPtr<IStream>::Share(stream);
    request.callback = ComPtr<IWMReaderCallback>::Share(callback);
    request.context = context;
    return BeginOpen(std::move(request));
}

HRESULT CReader::Close() {
    std::unique_lock<std::mutex> hold(m_worker->Lock());
    const CReaderWorker::State state = m_worker->StateLocked();
    if (state == CReaderWorker::kClosed || state == CReaderWorker::kClosing) return NS_E_INVALID_REQUEST;
    const uint64_t sequence = m_worker->PostLocked({CReaderWorker::Request::kClose});
    if (!sequence) return E_OUTOFMEMORY;
    m_worker->SetStateLocked(CReaderWorker::kClosing);
    // The closed status reaches the host before Close returns, as with the runtime.
    m_worker->WaitDone(hold, sequence);
    return S_OK;
}

HRESULT CReader::GetOutputCount(DWORD *count) {
    return WithMedium(count, [&](const MediaInfo &info) { return PutValue(count, DWORD(info.outputs.size())); });
}

HRESULT CReader::GetOutputProps(DWORD output, IWMOutputMediaProps **props) {
    return WithOutput(output, props, [&](const MediaOutputInfo &chosen) {
        COutputMediaProps *created = COutputMediaProps::Create(chosen.type);
        return created ? PutValue(props, created) : E_OUTOFMEMORY;
    });
}

// Outputs give their one format; asking for that one is accepted, anything else refused.
HRESULT CReader::SetOutputProps(DWORD output, IWMOutputMediaProps *props) {
    if (!props) return E_POINTER;
    return WithOutput(output, props, [&](const MediaOutputInfo &chosen) {
        DWORD size = 0;
        HRESULT hr = props->GetMediaType(nullptr, &size);
        if (FAILED(hr) || size < sizeof(WM_MEDIA_TYPE)) return FAILED(hr) ? hr : E_INVALIDARG;
        std::unique_ptr<BYTE[]> storage(new (std::nothrow) BYTE[size]);
        if (!storage) return E_OUTOFMEMORY;
        WM_MEDIA_TYPE *record = reinterpret_cast<WM_MEDIA_TYPE *>(storage.get());
        CMediaType wanted;
        if (FAILED(hr = props->GetMediaType(record, &size)) || FAILED(hr = wanted.Assign(record))) return hr;
        return wanted == chosen.type ? S_OK : NS_E_INVALID_OUTPUT_FORMAT;
    });
}

HRESULT CReader::GetOutputFormatCount(DWORD output, DWORD *count) {
    return WithOutput(output, count, [&](const MediaOutputInfo &) { return PutValue(count, DWORD(1)); });
}

HRESULT CReader::GetOutputFormat(DWORD output, DWORD format, IWMOutputMediaProps **props) {
    const std::shared_ptr<const MediaInfo> info = Medium();
    if (info && output < info->outputs.size() && format != 0) return NS_E_INVALID_OUTPUT_FORMAT;
    return GetOutputProps(output, props);
}

HRESULT CReader::Start(QWORD start, QWORD duration, float rate, void *context) {
    // Only normal speed: the library stretches time itself.
    if (rate != 1.0f) return E_INVALIDARG;
    CReaderWorker::Request request{CReaderWorker::Request::kStart};
    request.start = start;
    request.duration = duration;
    request.context = context;
    return Post(std::move(request), CReaderWorker::kOpen, NS_E_INVALID_REQUEST);
}

HRESULT CReader::Stop() { return Post({CReaderWorker::Request::kStop}, CReaderWorker::kOpen, E_UNEXPECTED); }

HRESULT CReader::Pause() { return Post({CReaderWorker::Request::kPause}, CReaderWorker::kOpen, NS_E_INVALID_REQUEST); }

HRESULT CReader::Resume() {
    return Post({CReaderWorker::Request::kResume}, CReaderWorker::kOpen, NS_E_INVALID_REQUEST);
}

HRESULT CReader::SetUserProvidedClock(BOOL userClock) {
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    CReaderWorker::Request request{CReaderWorker::Request::kClock};
    request.userClock = userClock != FALSE;
    if (!m_worker->PostLocked(std::move(request))) return E_OUTOFMEMORY;
    m_userClock = userClock != FALSE;
    return S_OK;
}

HRESULT CReader::GetUserProvidedClock(BOOL *userClock) {
    if (!userClock) return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    *userClock = m_userClock ? TRUE : FALSE;
    return S_OK;
}

HRESULT CReader::DeliverTime(QWORD time) {
    std::lock_guard<std::mutex> hold(m_worker->Lock());
    if (!m_userClock) return E_UNEXPECTED;
    if (m_worker->StateLocked() != CReaderWorker::kOpen) return NS_E_INVALID_REQUEST;
    CReaderWorker::Request request{CReaderWorker::Request::kDeliverTime};
    request.time = time;
    return m_worker->PostLocked(std::move(request)) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CReader::SetAllocateForOutput(DWORD output, BOOL allocate) {
    return WithAllocateFlag(output, [&](BOOL &flag) { flag = allocate ? TRUE : FALSE; });
}

HRESULT CReader::GetAllocateForOutput(DWORD output, BOOL *allocate) {
    if (!allocate) return E_INVALIDARG;
    return WithAllocateFlag(output, [&](BOOL &flag) { *allocate = flag; });
}

HRESULT CReader::GetMaxOutputSampleSize(DWORD output, DWORD *size) {
    return WithOutput(output, size,
                      [&](const MediaOutputInfo &chosen) { return PutValue(size, chosen.maxSampleBytes); });
}

HRESULT CReader::GetAttributeCount(WORD stream, WORD *count) {
    return WithMedium(count, [&](const MediaInfo &info) {
        Attribute attributes[3];
        return PutValue(count, stream == 0 ? WORD(FileAttributes(info, attributes)) : WORD(0));
    });
}

HRESULT CReader::GetAttributeByIndex(WORD index, WORD *stream, WCHAR *name, WORD *nameLength, WMT_ATTR_DATATYPE *type,
                                     BYTE *value, WORD *length) {
    if (!nameLength || !type || !length) return E_INVALIDARG;
    return WithMedium(stream, [&](const MediaInfo &info) {
        Attribute attributes[3];
        const int count = *stream == 0 ? FileAttributes(info, attributes) : 0;
        if (index >= count) return E_INVALIDARG;
        const HRESULT hr = CopyWideString(attributes[index].name, name, nameLength);
        return FAILED(hr) ? hr : CopyValue(attributes[index], type, value, length);
    });
}

HRESULT CReader::GetAttributeByName(WORD *stream, LPCWSTR name, WMT_ATTR_DATATYPE *type, BYTE *value, WORD *length) {
    if (!name || !type || !length) return E_INVALIDARG;
    return WithMedium(stream, [&](const MediaInfo &info) {
        Attribute attributes[3];
        const int count = *stream == 0 ? FileAttributes(info, attributes) : 0;
        for (int i = 0; i < count; ++i) {
            if (std::u16string_view(name) == attributes[i].name) return CopyValue(attributes[i], type, value, length);
        }
        return ASF_E_NOTFOUND;
    });
}

HRESULT CReader::GetMarkerCount(WORD *count) { return PutValue(count, WORD(0), E_INVALIDARG); }

HRESULT CReader::GetScriptCount(WORD *count) { return PutValue(count, WORD(0), E_INVALIDARG); }

HRESULT CReader::GetVersion(WMT_VERSION *version) { return PutValue(version, WMT_VER_9_0, E_INVALIDARG); }

HRESULT CReader::GetName(WCHAR *name, DWORD *length) { return CopyWideString(u"", name, length); }

HRESULT CReader::GetDescription(WCHAR *description, DWORD *length) { return CopyWideString(u"", description, length); }

HRESULT CReader::GetStreamCount(DWORD *count) {
    return WithMedium(count, [&](const MediaInfo &info) { return PutValue(count, DWORD(info.streams.size())); });
}

HRESULT CReader::GetStream(DWORD index, IWMStreamConfig **config) {
    return WithMedium(config, [&](const MediaInfo &info) {
        if (index >= info.streams.size()) return E_INVALIDARG;
        const MediaStreamInfo &stream = info.streams[index];
        IWMStreamConfig *created = CStreamConfig::Create(stream.number, stream.type, stream.bitrate, 0);
        return created ? PutValue(config, created) : E_OUTOFMEMORY;
    });
}

HRESULT CReader::GetStreamByNumber(WORD number, IWMStreamConfig **config) {
    if (number == 0) return E_INVALIDARG;
    return GetStream(DWORD(number - 1), config);
}

HRESULT CReader::GetMutualExclusionCount(DWORD *count) { return PutValue(count, DWORD(0), E_INVALIDARG); }

}  // namespace posix

HRESULT WMCreateReader(IUnknown *, DWORD, IWMReader **reader) {
    if (!reader) return E_POINTER;
    posix::CReader *created = posix::CReader::Create();
    *reader = created;
    return created ? S_OK : E_OUTOFMEMORY;
}
