#include "WmWriterWorker.h"

#include <system_error>

namespace posix {

namespace {

// The caller feeds faster than any encoder runs: past this much queued PCM it waits, so memory
// stays bounded whatever it sends.
const size_t kMaxQueuedBytes = 4 << 20;

}  // namespace

CWmWriterWorker::~CWmWriterWorker() { End(true); }

HRESULT CWmWriterWorker::Start() {
    try {
        m_thread = std::thread(&CWmWriterWorker::Run, this);
    } catch (const std::system_error &) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CWmWriterWorker::Queue(DWORD input, INSSBuffer *sample) {
    DWORD bytes = 0;
    sample->GetLength(&bytes);
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(
        hold, [this] { return m_stopping || FAILED(m_failure) || m_queue.empty() || m_queuedBytes < kMaxQueuedBytes; });
    if (m_stopping) return NS_E_INVALID_REQUEST;
    if (FAILED(m_failure)) return m_failure;
    m_queue.push_back(Item{input, ComPtr<INSSBuffer>::Share(sample), bytes});
    m_queuedBytes += bytes;
    m_changed.notify_all();
    return S_OK;
}

HRESULT CWmWriterWorker::Drain() {
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return m_queue.empty() && !m_busy; });
    return m_failure;
}

HRESULT CWmWriterWorker::Stop() {
    End(false);
    std::lock_guard<std::mutex> hold(m_lock);
    return m_failure;
}

void CWmWriterWorker::End(bool discard) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
        if (discard) {
            m_queue.clear();
            m_queuedBytes = 0;
        }
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CWmWriterWorker::Run() {
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_changed.wait(hold, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) return;
        Item item = std::move(m_queue.front());
        m_queue.pop_front();
        m_queuedBytes -= item.bytes;
        m_busy = true;
        const bool failed = FAILED(m_failure);
        hold.unlock();
        // After a failure the rest is dropped: the caller learns of it from its next call.
        const HRESULT hr = failed ? S_OK : m_process(item.input, item.sample.Get());
        item.sample.Reset();
        hold.lock();
        if (SUCCEEDED(m_failure)) m_failure = hr;
        m_busy = false;
        m_changed.notify_all();
    }
}

}  // namespace posix
