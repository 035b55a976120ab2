// The writer's own thread in non-blocking mode: samples are queued with a reference and encoded
// there, in order, so the caller's thread only copies a pointer.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "ComPtr.h"
#include "wmsdk.h"

namespace posix {

class CWmWriterWorker {
public:
    using Process = std::function<HRESULT(DWORD input, INSSBuffer *sample)>;

    explicit CWmWriterWorker(Process process) : m_process(std::move(process)) {}
    // Drops what is still queued and ends the thread.
    ~CWmWriterWorker();
    CWmWriterWorker(const CWmWriterWorker &) = delete;
    CWmWriterWorker &operator=(const CWmWriterWorker &) = delete;

    HRESULT Start();
    // Waits while too much is queued. Returns the first failure of earlier samples, after which
    // nothing more is queued; NS_E_INVALID_REQUEST once the worker is stopping.
    HRESULT Queue(DWORD input, INSSBuffer *sample);
    // Waits until every queued sample has been processed; the first failure so far.
    HRESULT Drain();
    // Processes everything queued, then ends the thread; the first failure of all.
    HRESULT Stop();

private:
    struct Item {
        DWORD input;
        ComPtr<INSSBuffer> sample;
        DWORD bytes;
    };

    void Run();
    void End(bool discard);

    const Process m_process;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Item> m_queue;
    size_t m_queuedBytes = 0;
    bool m_busy = false;
    bool m_stopping = false;
    HRESULT m_failure = S_OK;
    std::thread m_thread;
};

}  // namespace posix
