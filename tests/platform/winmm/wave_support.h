// What the wave device tests share, in the Windows API only: logged devices of both directions, buffers, disk files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "ContractSupport.h"
#include "WaveTestSupport.h"

// Buffers whose storage lives in the test, at addresses that stay put while a device has them.
struct Buffers {
    std::vector<std::vector<char>> data;
    std::vector<WAVEHDR> headers;

    Buffers(size_t count, size_t bytes) : data(count, std::vector<char>(bytes, 1)), headers(count, WAVEHDR()) {
        for (size_t i = 0; i < count; ++i) {
            headers[i].lpData = data[i].data();
            headers[i].dwBufferLength = DWORD(bytes);
        }
    }
    WAVEHDR &operator[](size_t i) { return headers[i]; }
};

// Every callback a device made, in order, with the thread it came on and the header's state then.
struct WaveLog : CAwaitedLog {
    struct Entry {
        UINT message;
        WAVEHDR *header;
        DWORD flags, bytes, thread;
    } at[64];
    int count = 0;
    HWAVEIN requeueTo = nullptr;  // while set, input buffers go straight back to the device

    template <class Handle>
    static void CALLBACK Add(Handle, UINT message, DWORD_PTR self, DWORD_PTR param1, DWORD_PTR) {
        WaveLog *log = reinterpret_cast<WaveLog *>(self);
        WAVEHDR *header = reinterpret_cast<WAVEHDR *>(param1);
        EnterCriticalSection(&log->m_lock);
        if (log->count < 64)
            log->at[log->count++] = {message, header, header ? header->dwFlags : 0,
                                     header ? header->dwBytesRecorded : 0, GetCurrentThreadId()};
        if (header && log->requeueTo) waveInAddBuffer(log->requeueTo, header, sizeof(WAVEHDR));
        LeaveCriticalSection(&log->m_lock);
        SetEvent(log->m_changed);
    }
    int Count() {
        return Locked([&] { return count; });
    }
    // Waits until at least `wanted` callbacks have been logged; false after `timeout` ms.
    bool WaitFor(int wanted, DWORD timeout) {
        return Await(timeout, [&] { return count >= wanted; });
    }
    void StopRequeue() {
        Locked([&] { return requeueTo = nullptr; });
    }
};

inline MMRESULT Open(HWAVEOUT *h, const WAVEFORMATEX &f, WaveLog &log) {
    return waveOutOpen(h, WAVE_MAPPER, &f, DWORD_PTR(WaveLog::Add<HWAVEOUT>), DWORD_PTR(&log), CALLBACK_FUNCTION);
}
inline MMRESULT Open(HWAVEIN *h, const WAVEFORMATEX &f, WaveLog &log) {
    return waveInOpen(h, WAVE_MAPPER, &f, DWORD_PTR(WaveLog::Add<HWAVEIN>), DWORD_PTR(&log), CALLBACK_FUNCTION);
}
inline MMRESULT Prepare(HWAVEOUT h, WAVEHDR &header) { return waveOutPrepareHeader(h, &header, sizeof(WAVEHDR)); }
inline MMRESULT Prepare(HWAVEIN h, WAVEHDR &header) { return waveInPrepareHeader(h, &header, sizeof(WAVEHDR)); }
inline MMRESULT Queue(HWAVEOUT h, WAVEHDR &header) { return waveOutWrite(h, &header, sizeof(WAVEHDR)); }
inline MMRESULT Queue(HWAVEIN h, WAVEHDR &header) { return waveInAddBuffer(h, &header, sizeof(WAVEHDR)); }
inline MMRESULT Unprepare(HWAVEOUT h, WAVEHDR &header) { return waveOutUnprepareHeader(h, &header, sizeof(WAVEHDR)); }
inline MMRESULT Unprepare(HWAVEIN h, WAVEHDR &header) { return waveInUnprepareHeader(h, &header, sizeof(WAVEHDR)); }

// A device of either direction with its log.
template <class Handle>
struct Device {
    WaveLog log;
    Handle handle = nullptr;

    MMRESULT Open(const WAVEFORMATEX &format) { return ::Open(&handle, format, log); }
    // Prepares and queues buffers [first, last).
    void Send(Buffers &buffers, size_t first, size_t last) {
        for (size_t i = first; i < last; ++i) {
            ASSERT_EQ(Prepare(handle, buffers[i]), MMSYSERR_NOERROR);
            ASSERT_EQ(Queue(handle, buffers[i]), MMSYSERR_NOERROR);
        }
    }
};
typedef Device<HWAVEOUT> OutputDevice;
typedef Device<HWAVEIN> InputDevice;

// SDL's disk-driver file when the suite runs on that driver, else null: only there is the device's PCM a file to see.
inline const char *DiskAudioFile(const char *variable) {
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    return driver && std::strcmp(driver, "disk") == 0 ? std::getenv(variable) : nullptr;
}

// Points SDL's disk driver at the path for the devices opened from now on (the disk-driver tests run on Linux only).
inline void SetDiskAudioFile(const char *variable, const char *path) {
#ifndef _WIN32
    setenv(variable, path, 1);
#endif
}
