// GetWmaFileDuration: a media file's duration in milliseconds, without the library lock. The one
// probe answers one call at a time under a lock of its own, so calls from several host threads (and
// a shutdown disposing of the probe) queue there instead of sharing it.
#include <new>

#include "api/FileObjects.h"
#include "brivane.h"
#include "playback/DurationProbe.h"

namespace {
CDurationProbe *g_probe = nullptr;

// Made on first use and never destroyed, so no call can find it gone.
class CProbeLock {
public:
    CProbeLock() { InitializeCriticalSection(&m_lock); }
    void Enter() { EnterCriticalSection(&m_lock); }
    void Leave() { LeaveCriticalSection(&m_lock); }

private:
    CRITICAL_SECTION m_lock;
};

CProbeLock &ProbeLock() {
    static CProbeLock *const lock = new CProbeLock;
    return *lock;
}

uint32_t ProbeLocked(LPCWSTR path) {
    if (!g_probe) {
        g_probe = new (std::nothrow) CDurationProbe;
        if (!g_probe) return 0;
        if (FAILED(g_probe->Prepare())) return 0;
    }
    return g_probe->Probe(path);
}
}  // namespace

namespace library {
void DisposeDurationProbe() {
    ProbeLock().Enter();
    if (g_probe) {
        g_probe->Dispose();
        delete g_probe;
        g_probe = nullptr;
    }
    ProbeLock().Leave();
}
}  // namespace library

extern "C" uint32_t BRIVANE_CALL GetWmaFileDuration(const BRIVANE_WCHAR *path) {
    ProbeLock().Enter();
    const uint32_t ms = ProbeLocked(reinterpret_cast<LPCWSTR>(path));
    ProbeLock().Leave();
    return ms;
}
