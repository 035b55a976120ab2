#include "WmWriter.h"

#include <new>

#include "NssBuffer.h"
#include "Property.h"

namespace posix {

namespace {

// Marks the thread as inside the writer's sinks for as long as it lives.
class SinkScope {
public:
    explicit SinkScope(std::atomic<std::thread::id> &thread) : m_thread(thread) {
        m_thread = std::this_thread::get_id();
    }
    ~SinkScope() { m_thread = std::thread::id(); }
    SinkScope(const SinkScope &) = delete;
    SinkScope &operator=(const SinkScope &) = delete;

private:
    std::atomic<std::thread::id> &m_thread;
};

}  // namespace

CWmWriter *CWmWriter::Create() { return new (std::nothrow) CWmWriter(); }

CWmWriter::~CWmWriter() {
    // Released while writing: what is queued is dropped and the sinks never see an end.
    m_worker.reset();
    m_session.reset();
}

void *CWmWriter::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IWMWriter) return static_cast<IWMWriter *>(this);
    if (riid == IID_IWMWriterAdvanced || riid == IID_IWMWriterAdvanced2 || riid == IID_IWMWriterAdvanced3)
        return static_cast<IWMWriterAdvanced3 *>(this);
    return nullptr;
}

template <class Answer>
HRESULT CWmWriter::Serve(Requires state, Answer answer) {
    if (InSink()) return NS_E_INVALID_REQUEST;
    std::lock_guard<std::mutex> hold(m_lock);
    const bool refused = state == kIdle ? bool(m_session) : state == kWriting && (!m_session || m_ending);
    return refused ? NS_E_INVALID_REQUEST : answer();
}

template <class Answer>
HRESULT CWmWriter::Serve(Requires state, const void *out, Answer answer) {
    return out ? Serve(state, answer) : E_POINTER;
}

HRESULT CWmWriter::SetProfile(IWMProfile *profile) {
    if (!profile) return E_POINTER;
    if (InSink()) return NS_E_INVALID_REQUEST;
    try {
        DWORD count = 0;
        HRESULT hr = profile->GetStreamCount(&count);
        if (FAILED(hr)) return hr;
        // A file holds streams 1 to 63.
        if (count == 0 || count > 63) return NS_E_INVALIDPROFILE;
        std::vector<StreamSettings> streams(count);
        std::vector<ComPtr<CWmInputProps>> inputs;
        for (DWORD i = 0; i < count; ++i) {
            ComPtr<IWMStreamConfig> config;
            hr = profile->GetStream(i, config.Receive());
            if (SUCCEEDED(hr)) hr = StreamSettings::Read(config.Get(), streams[i]);
            WAVEFORMATEX format;
            if (SUCCEEDED(hr)) hr = ReadStreamFormat(streams[i].type, format);
            if (FAILED(hr)) return hr;
            for (DWORD j = 0; j < i; ++j)
                if (streams[j].number == streams[i].number) return NS_E_INVALID_STREAM;
            // Each input takes 16-bit PCM at its stream's rate and channels until told otherwise.
            inputs.push_back(ComPtr<CWmInputProps>::Adopt(CWmInputProps::Create(
                CMediaType::Pcm(format.nChannels, format.nSamplesPerSec), streams[i].connection)));
            if (!inputs.back()) return E_OUTOFMEMORY;
        }
        return Serve(kIdle, [&] {
            m_streams = std::move(streams);
            m_inputs = std::move(inputs);
            return S_OK;
        });
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CWmWriter::GetInputCount(DWORD *count) {
    return Serve(kAnyTime, count, [&] { return PutValue(count, DWORD(m_inputs.size())); });
}

HRESULT CWmWriter::GetInputProps(DWORD input, IWMInputMediaProps **props) {
    return Serve(kAnyTime, props, [&] {
        if (input >= m_inputs.size()) return E_INVALIDARG;
        // A copy, as Windows gives: changing it leaves the input alone until SetInputProps.
        *props = m_inputs[input]->Copy();
        return *props ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CWmWriter::SetInputProps(DWORD input, IWMInputMediaProps *props) {
    if (!props) return E_INVALIDARG;
    if (InSink()) return NS_E_INVALID_REQUEST;
    try {
        CMediaType type;
        WAVEFORMATEX format;
        HRESULT hr = ReadMediaType(props, type);
        if (SUCCEEDED(hr)) hr = ReadPcmInput(type, format);
        if (FAILED(hr)) return hr;
        std::lock_guard<std::mutex> hold(m_lock);
        if (input >= m_inputs.size()) return E_INVALIDARG;
        // The encoders take their input formats as writing begins: a change now would be ignored.
        if (m_session) return NS_E_INVALID_REQUEST;
        WM_MEDIA_TYPE record = type.Record();
        record.pbFormat = const_cast<BYTE *>(type.Format().data());
        return m_inputs[input]->SetMediaType(&record);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CWmWriter::GetInputFormatCount(DWORD input, DWORD *count) {
    // The default 16-bit PCM; any other PCM is converted on the way in.
    return Serve(kAnyTime, count, [&] { return input < m_inputs.size() ? PutValue(count, DWORD(1)) : E_INVALIDARG; });
}

HRESULT CWmWriter::GetInputFormat(DWORD input, DWORD format, IWMInputMediaProps **props) {
    return Serve(kAnyTime, props, [&] {
        WAVEFORMATEX stream;
        if (input >= m_streams.size() || format != 0 || FAILED(ReadStreamFormat(m_streams[input].type, stream)))
            return E_INVALIDARG;
        *props = CWmInputProps::Create(CMediaType::Pcm(stream.nChannels, stream.nSamplesPerSec),
                                       m_streams[input].connection);
        return *props ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CWmWriter::BeginWriting() {
    return Serve(kIdle, [&] {
        if (m_streams.empty()) return NS_E_NOT_CONFIGURED;
        try {
            std::vector<SessionStream> streams(m_streams.size());
            for (size_t i = 0; i < streams.size(); ++i) {
                streams[i].number = m_streams[i].number;
                streams[i].bitrate = m_streams[i].bitrate;
                HRESULT hr = ReadStreamFormat(m_streams[i].type, streams[i].format);
                if (SUCCEEDED(hr)) hr = ReadPcmInput(m_inputs[i]->Type(), streams[i].input);
                if (FAILED(hr)) return hr;
            }
            std::vector<ComPtr<IWMWriterSink>> sinks;
            for (const ComPtr<IWMWriterSink> &sink : m_sinks) sinks.push_back(ComPtr<IWMWriterSink>::Share(sink.Get()));
            std::unique_ptr<CWmWriterSession> session = std::make_unique<CWmWriterSession>(std::move(sinks));
            std::shared_ptr<CWmWriterWorker> worker;
            if (m_nonBlocking) {
                worker = std::make_shared<CWmWriterWorker>([this](DWORD input, INSSBuffer *sample) {
                    std::lock_guard<std::mutex> encoding(m_lock);
                    return m_session ? Encode(input, sample) : NS_E_INVALID_REQUEST;
                });
                const HRESULT hr = worker->Start();
                if (FAILED(hr)) return hr;
            }
            SinkScope scope(m_sinkThread);
            const HRESULT hr = session->Begin(streams);
            if (FAILED(hr)) return hr;
            m_session = std::move(session);
            m_worker = std::move(worker);
            return S_OK;
        } catch (const std::bad_alloc &) {
            return E_OUTOFMEMORY;
        }
    });
}

HRESULT CWmWriter::Encode(DWORD input, INSSBuffer *sample) {
    BYTE *data = nullptr;
    DWORD length = 0;
    const HRESULT hr = sample->GetBufferAndLength(&data, &length);
    if (FAILED(hr)) return hr;
    if (length == 0) return S_OK;
    if (!data) return E_INVALIDARG;
    try {
        SinkScope scope(m_sinkThread);
        return m_session->Write(input, data, length);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CWmWriter::AllocateSample(DWORD size, INSSBuffer **sample) {
    if (sample) *sample = nullptr;
    // Samples are handed out only while writing, as Windows does.
    return Serve(kWriting, sample, [&] {
        *sample = CNssBuffer::Create(size);
        return *sample ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CWmWriter::WriteSample(DWORD input, QWORD time, DWORD, INSSBuffer *sample) {
    std::shared_ptr<CWmWriterWorker> worker;
    const HRESULT hr = Serve(kWriting, sample, [&] {
        if (input >= m_inputs.size()) return E_INVALIDARG;
        for (const ComPtr<INSSBuffer> &kept : m_written)
            if (kept.Get() == sample) return NS_E_INVALID_REQUEST;
        m_written[m_nextWritten++ % m_written.size()] = ComPtr<INSSBuffer>::Share(sample);
        m_writerTime = time;
        if (!m_worker) return Encode(input, sample);
        worker = m_worker;
        return S_OK;
    });
    return worker ? worker->Queue(input, sample) : hr;
}

HRESULT CWmWriter::Flush() {
    std::shared_ptr<CWmWriterWorker> worker;
    const HRESULT hr = Serve(kWriting, [&] {
        worker = m_worker;
        return S_OK;
    });
    // Blocking mode has nothing in hand: every sample went to the sinks as far as whole packets allow.
    return worker ? worker->Drain() : hr;
}

HRESULT CWmWriter::EndWriting() {
    std::shared_ptr<CWmWriterWorker> worker;
    HRESULT hr = Serve(kWriting, [&] {
        m_ending = true;
        worker = std::move(m_worker);
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    const HRESULT queued = worker ? worker->Stop() : S_OK;
    worker.reset();
    std::lock_guard<std::mutex> hold(m_lock);
    try {
        SinkScope scope(m_sinkThread);
        hr = m_session->End();
    } catch (const std::bad_alloc &) {
        hr = E_OUTOFMEMORY;
    }
    m_session.reset();
    for (ComPtr<INSSBuffer> &kept : m_written) kept.Reset();
    m_ending = false;
    return FAILED(queued) ? queued : hr;
}

HRESULT CWmWriter::GetSinkCount(DWORD *count) {
    return Serve(kAnyTime, count, [&] { return PutValue(count, DWORD(m_sinks.size())); });
}

HRESULT CWmWriter::GetSink(DWORD index, IWMWriterSink **sink) {
    return Serve(kAnyTime, sink, [&] {
        if (index >= m_sinks.size()) return E_INVALIDARG;
        *sink = m_sinks[index].Get();
        (*sink)->AddRef();
        return S_OK;
    });
}

HRESULT CWmWriter::AddSink(IWMWriterSink *sink) {
    // The sinks of a session are fixed as it begins.
    return Serve(kIdle, sink, [&] {
        try {
            m_sinks.push_back(ComPtr<IWMWriterSink>::Share(sink));
        } catch (const std::bad_alloc &) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    });
}

HRESULT CWmWriter::RemoveSink(IWMWriterSink *sink) {
    return Serve(kIdle, [&] {
        // No sink named removes them all.
        if (!sink) {
            m_sinks.clear();
            return S_OK;
        }
        for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
            if (it->Get() == sink) {
                m_sinks.erase(it);
                return S_OK;
            }
        }
        return E_INVALIDARG;
    });
}

HRESULT CWmWriter::IsRealTime(BOOL *realTime) { return PutValue(realTime, FALSE); }

HRESULT CWmWriter::GetWriterTime(QWORD *time) { return PutValue(time, m_writerTime.load()); }

HRESULT CWmWriter::SetNonBlocking() {
    // Takes effect from the next BeginWriting.
    m_nonBlocking = true;
    return S_OK;
}

}  // namespace posix

HRESULT WMCreateWriter(IUnknown *, IWMWriter **writer) {
    if (!writer) return E_POINTER;
    *writer = posix::CWmWriter::Create();
    return *writer ? S_OK : E_OUTOFMEMORY;
}
