// The reader's one thread: it opens the medium, decodes it and calls the host's callbacks, in the
// order the host's requests arrive. Delivery follows the reader's own clock (real time, a little
// ahead) or the host's (as far as the time the host gives).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "MediaFile.h"

namespace posix {

class CReaderWorker {
public:
    // The medium's state as the reader's methods see it.
    enum State { kClosed, kOpening, kOpen, kClosing };

    struct Request {
        enum Kind { kOpenMedium, kStart, kStop, kPause, kResume, kClose, kClock, kDeliverTime };
        Request(Kind which) : kind(which) {}

        Kind kind;
        std::u16string path;     // kOpenMedium: a file, or
        ComPtr<IStream> stream;  // kOpenMedium: the host's stream
        ComPtr<IWMReaderCallback> callback;
        void *context = nullptr;  // kOpenMedium, kStart
        QWORD start = 0;          // kStart
        QWORD duration = 0;       // kStart
        QWORD time = 0;           // kDeliverTime
        bool userClock = false;   // kClock
    };

    // Null when no thread can be started.
    static CReaderWorker *Create();
    // Ends the thread and frees the worker. Called from a callback, the worker goes once that
    // callback returns.
    static void Dispose(CReaderWorker *worker);

    // Everything below may be called from any thread.
    std::mutex &Lock() { return m_lock; }
    // With Lock() held.
    State StateLocked() const { return m_state; }
    void SetStateLocked(State state) { m_state = state; }
    const std::shared_ptr<const MediaInfo> &InfoLocked() const { return m_info; }
    std::vector<BOOL> &AllocateLocked() { return m_allocate; }
    // Queues a request (Lock() held); returns its sequence number, 0 when memory runs out.
    uint64_t PostLocked(Request request);
    // Waits until the request has been carried out, unless called from the worker itself.
    void WaitDone(std::unique_lock<std::mutex> &hold, uint64_t sequence);

private:
    using Clock = std::chrono::steady_clock;
    enum Phase { kIdle, kRunning, kEnded };

    CReaderWorker() = default;
    ~CReaderWorker();
    static unsigned __stdcall ThreadMain(void *self);
    void Run();
    bool OnWorkerThread() const;
    bool HasWork(Clock::time_point now, Clock::time_point &wake) const;
    void Execute(Request &request);
    void Open(Request &request);
    void Start(const Request &request);
    void Close();
    void Work();
    void Deliver();
    // Ends playing: the host hears of the failure, if any, then of the end.
    void End(HRESULT failure);
    void Status(WMT_STATUS status, HRESULT hr);
    void ReleaseMedium();

    // Shared with the methods' threads, under m_lock.
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<Request> m_requests;
    uint64_t m_posted = 0;
    uint64_t m_finished = 0;
    bool m_quit = false;
    State m_state = kClosed;
    std::shared_ptr<const MediaInfo> m_info;
    std::vector<BOOL> m_allocate;
    HANDLE m_thread = nullptr;
    DWORD m_threadId = 0;
    bool m_detached = false;  // disposed of from its own thread

    // The worker's own.
    std::unique_ptr<CMediaFile> m_medium;
    ComPtr<IWMReaderCallback> m_callback;
    ComPtr<IWMReaderCallbackAdvanced> m_advanced;
    void *m_context = nullptr;
    Phase m_phase = kIdle;
    bool m_paused = false;
    Clock::time_point m_pausedAt;
    bool m_userClock = false;
    QWORD m_userTime = 0;
    bool m_timePending = false;
    Clock::time_point m_clockOrigin;  // when the medium's m_clockStart plays
    QWORD m_clockStart = 0;
    QWORD m_segmentEnd = 0;  // 0: to the end of the medium
    QWORD m_segmentLength = 0;
    bool m_haveChunk = false;
    PcmChunk m_chunk = {};
    bool m_firstSample = false;
};

}  // namespace posix
