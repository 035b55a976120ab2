#include "ReaderWorker.h"

#include <cstring>
#include <new>

#include "NssBuffer.h"
#include "kernel32.h"

namespace posix {
namespace {

using Hns = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;

// On its own clock the reader hands a sample over this long before its time, so that the host can
// queue it for playing.
const std::chrono::milliseconds kLead(500);
const DWORD kZero = 0;

// The runtime reports user-clock times rounded up to whole milliseconds.
QWORD CeilToMillisecond(QWORD time) {
    const QWORD rest = time % 10000;
    return rest == 0 || time > QWORD(-1) - 10000 ? time : time + (10000 - rest);
}

}  // namespace

CReaderWorker *CReaderWorker::Create() {
    CReaderWorker *worker;
    try {
        worker = new CReaderWorker;  // its request queue allocates as it is made
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    uintptr_t thread;
    {
        // The new thread finds its id set: it waits for the lock before looking.
        std::lock_guard<std::mutex> hold(worker->m_lock);
        unsigned id = 0;
        thread = _beginthreadex(nullptr, 0, ThreadMain, worker, 0, &id);
        worker->m_thread = reinterpret_cast<HANDLE>(thread);
        worker->m_threadId = id;
    }
    // Freed only once its lock is let go.
    if (!thread) {
        delete worker;
        return nullptr;
    }
    return worker;
}

void CReaderWorker::Dispose(CReaderWorker *worker) {
    {
        std::lock_guard<std::mutex> hold(worker->m_lock);
        worker->m_quit = true;
    }
    worker->m_wake.notify_all();
    if (worker->OnWorkerThread()) {
        worker->m_detached = true;
        return;
    }
    WaitForSingleObject(worker->m_thread, INFINITE);
    delete worker;
}

CReaderWorker::~CReaderWorker() {
    if (m_thread) CloseHandle(m_thread);
}

unsigned __stdcall CReaderWorker::ThreadMain(void *self) {
    static_cast<CReaderWorker *>(self)->Run();
    return 0;
}

bool CReaderWorker::OnWorkerThread() const { return GetCurrentThreadId() == m_threadId; }

uint64_t CReaderWorker::PostLocked(Request request) {
    try {
        m_requests.push_back(std::move(request));
    } catch (const std::bad_alloc &) {
        return 0;
    }
    m_wake.notify_one();
    return ++m_posted;
}

void CReaderWorker::WaitDone(std::unique_lock<std::mutex> &hold, uint64_t sequence) {
    // A callback asking for something waits for nothing: it is done once the callback returns.
    if (OnWorkerThread()) return;
    m_done.wait(hold, [&] { return m_finished >= sequence; });
}

void CReaderWorker::Run() {
    std::unique_lock<std::mutex> hold(m_lock);
    while (!m_quit) {
        if (!m_requests.empty()) {
            {
                Request request = std::move(m_requests.front());
                m_requests.pop_front();
                hold.unlock();
                Execute(request);
            }
            hold.lock();
            ++m_finished;
            m_done.notify_all();
            continue;
        }
        Clock::time_point wake;
        if (HasWork(Clock::now(), wake)) {
            hold.unlock();
            Work();
            hold.lock();
        } else if (wake == Clock::time_point::max()) {
            m_wake.wait(hold);
        } else {
            m_wake.wait_until(hold, wake);
        }
    }
    // A reader released while open lets its medium and callback go without a word; each dropped
    // request lets go of what it holds outside the lock (taking them one by one allocates nothing).
    while (!m_requests.empty()) {
        {
            Request dropped = std::move(m_requests.front());
            m_requests.pop_front();
            hold.unlock();
        }
        hold.lock();
    }
    hold.unlock();
    ReleaseMedium();
    m_callback.Reset();
    if (m_detached) delete this;
}

bool CReaderWorker::HasWork(Clock::time_point now, Clock::time_point &wake) const {
    wake = Clock::time_point::max();
    const bool playing = m_phase == kRunning && !m_paused;
    if (playing) {
        if (!m_haveChunk || (m_segmentEnd && m_chunk.time >= m_segmentEnd)) return true;
        if (m_userClock) {
            if (m_chunk.time <= m_userTime) return true;
        } else {
            const Clock::time_point due =
                m_chunk.time <= m_clockStart ? now : m_clockOrigin + Hns(m_chunk.time - m_clockStart) - kLead;
            if (due <= now) return true;
            wake = due;
            return false;
        }
    }
    // The host's time has come: nothing more can be delivered up to it.
    return m_timePending && !(m_phase == kRunning && m_paused);
}

void CReaderWorker::Execute(Request &request) {
    switch (request.kind) {
    case Request::kOpenMedium: Open(request); break;
    case Request::kStart: Start(request); break;
    case Request::kStop:
        if (m_callback) {
            m_phase = kIdle;
            m_paused = false;
            Status(WMT_STOPPED, S_OK);
        }
        break;
    case Request::kPause:
        if (m_phase == kRunning && !m_paused) {
            m_paused = true;
            m_pausedAt = Clock::now();
        }
        break;
    case Request::kResume:
        if (m_paused) {
            m_paused = false;
            m_clockOrigin += Clock::now() - m_pausedAt;
        }
        break;
    case Request::kClose: Close(); break;
    case Request::kClock:
        if (request.userClock == m_userClock) break;
        m_userClock = request.userClock;
        m_userTime = 0;
        m_timePending = false;
        // Back on its own clock, the reader plays on from where it stands, now.
        m_clockOrigin = Clock::now();
        m_clockStart = m_haveChunk ? m_chunk.time : m_medium ? m_medium->Position() : 0;
        break;
    case Request::kDeliverTime:
        m_userTime = CeilToMillisecond(request.time);
        m_timePending = true;
        break;
    }
}

void CReaderWorker::Open(Request &request) {
    ComPtr<IWMReaderCallback> callback = std::move(request.callback);
    std::unique_ptr<CMediaFile> medium;
    std::vector<BOOL> allocate;
    HRESULT hr = S_OK;
    try {
        std::unique_ptr<CMediaInput> input;
        std::string name;
        if (request.stream)
            input = CMediaInput::FromStream(std::move(request.stream));
        else
            hr = CMediaInput::OpenFile(request.path.c_str(), input, name);
        if (SUCCEEDED(hr)) hr = CMediaFile::Open(std::move(input), name, medium);
        if (SUCCEEDED(hr)) allocate.assign(medium->Info()->outputs.size(), FALSE);
    } catch (const std::bad_alloc &) {
        hr = E_OUTOFMEMORY;
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_state == kOpening) m_state = SUCCEEDED(hr) ? kOpen : kClosed;
        if (SUCCEEDED(hr)) {
            m_info = medium->Info();
            m_allocate = std::move(allocate);
        }
    }
    m_context = request.context;
    if (SUCCEEDED(hr)) {
        m_medium = std::move(medium);
        m_callback = std::move(callback);
        m_callback->QueryInterface(IID_IWMReaderCallbackAdvanced, reinterpret_cast<void **>(m_advanced.Receive()));
        m_phase = kIdle;
        m_paused = false;
        m_haveChunk = false;
        m_timePending = false;
        Status(WMT_OPENED, S_OK);
    } else {
        callback->OnStatus(WMT_OPENED, hr, WMT_TYPE_DWORD, reinterpret_cast<BYTE *>(const_cast<DWORD *>(&kZero)),
                           request.context);
    }
}

void CReaderWorker::Start(const Request &request) {
    m_context = request.context;
    if (!m_medium) return;
    QWORD start = request.start;
    if (start == WM_START_CURRENTPOSITION) {
        start = m_haveChunk ? m_chunk.time : m_medium->Position();
    } else {
        m_medium->Seek(start);
        m_haveChunk = false;
    }
    m_segmentLength = request.duration;
    const QWORD room = QWORD(-1) - start;
    m_segmentEnd = request.duration == 0 ? 0 : request.duration > room ? QWORD(-1) : start + request.duration;
    m_clockStart = start;
    m_clockOrigin = Clock::now();
    m_userTime = 0;
    m_timePending = false;
    m_paused = false;
    m_phase = kRunning;
    m_firstSample = true;
    Status(WMT_STARTED, S_OK);
}

void CReaderWorker::Close() {
    ReleaseMedium();
    ComPtr<IWMReaderCallback> callback = std::move(m_callback);
    m_advanced.Reset();
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_state = kClosed;
        m_info.reset();
        m_allocate.clear();
    }
    if (callback)
        callback->OnStatus(WMT_CLOSED, S_OK, WMT_TYPE_DWORD, reinterpret_cast<BYTE *>(const_cast<DWORD *>(&kZero)),
                           m_context);
}

void CReaderWorker::ReleaseMedium() {
    m_medium.reset();
    m_advanced.Reset();
    m_phase = kIdle;
    m_paused = false;
    m_haveChunk = false;
    m_timePending = false;
}

void CReaderWorker::Work() {
    if (m_phase == kRunning && !m_paused) {
        if (!m_haveChunk) {
            HRESULT failure = S_OK;
            CMediaFile::Result result;
            try {
                result = m_medium->Next(m_chunk, failure);
            } catch (const std::bad_alloc &) {
                result = CMediaFile::kFailed;
                failure = E_OUTOFMEMORY;
            }
            if (result == CMediaFile::kChunk) {
                m_haveChunk = true;
                return;
            }
            End(result == CMediaFile::kFailed ? failure : S_OK);
            return;
        }
        if (m_segmentEnd && m_chunk.time >= m_segmentEnd) {
            m_phase = kEnded;
            m_callback->OnStatus(WMT_END_OF_SEGMENT, S_OK, WMT_TYPE_QWORD, reinterpret_cast<BYTE *>(&m_segmentLength),
                                 m_context);
            return;
        }
        const bool due = m_userClock ? m_chunk.time <= m_userTime
                                     : m_chunk.time <= m_clockStart ||
                                           m_clockOrigin + Hns(m_chunk.time - m_clockStart) - kLead <= Clock::now();
        if (due) {
            Deliver();
            return;
        }
    }
    if (m_timePending) {
        m_timePending = false;
        if (m_advanced) m_advanced->OnTime(m_userTime, m_context);
    }
}

void CReaderWorker::Deliver() {
    m_haveChunk = false;
    bool allocate = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        allocate = m_chunk.output < m_allocate.size() && m_allocate[m_chunk.output];
    }
    INSSBuffer *buffer = nullptr;
    BYTE *data = nullptr;
    DWORD capacity = 0;
    if (allocate && m_advanced) {
        // A host that cannot lend a buffer of the size asked for loses that sample.
        if (FAILED(m_advanced->AllocateForOutput(m_chunk.output, m_chunk.bytes, &buffer, nullptr)) || !buffer) return;
        if (FAILED(buffer->GetBuffer(&data)) || FAILED(buffer->GetMaxLength(&capacity)) || !data ||
            capacity < m_chunk.bytes) {
            buffer->Release();
            return;
        }
    } else if (m_chunk.whole) {
        // The decoder's own buffer holds exactly this sample: it goes out as it is.
        buffer = m_chunk.whole;
        buffer->AddRef();
    } else {
        CNssBuffer *own = CNssBuffer::Create(m_chunk.bytes);
        if (!own) {
            End(E_OUTOFMEMORY);  // rather than go on with a sample missing
            return;
        }
        buffer = own;
        data = own->Data();
    }
    if (data) std::memcpy(data, m_chunk.data, m_chunk.bytes);
    buffer->SetLength(m_chunk.bytes);
    const DWORD flags = m_firstSample ? WM_SF_CLEANPOINT | WM_SF_DISCONTINUITY : WM_SF_CLEANPOINT;
    m_firstSample = false;
    m_callback->OnSample(m_chunk.output, m_chunk.time, m_chunk.duration, flags, buffer, m_context);
    buffer->Release();
}

void CReaderWorker::End(HRESULT failure) {
    m_phase = kEnded;
    if (FAILED(failure)) Status(WMT_ERROR, failure);
    Status(WMT_END_OF_STREAMING, S_OK);
    Status(WMT_EOF, S_OK);
}

void CReaderWorker::Status(WMT_STATUS status, HRESULT hr) {
    m_callback->OnStatus(status, hr, WMT_TYPE_DWORD, reinterpret_cast<BYTE *>(const_cast<DWORD *>(&kZero)), m_context);
}

}  // namespace posix
