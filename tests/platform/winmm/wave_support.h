// What the wave device tests share: formats, a log of device callbacks kept with the Windows API
// only, and the files of SDL's disk driver when the suite runs on it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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

// Every callback a device made, in order, with the thread it came on and the header's flags then.
struct WaveLog {
    static const int kCapacity = 64;
    CRITICAL_SECTION lock;
    HANDLE changed;
    int count;
    UINT messages[kCapacity];
    WAVEHDR *headers[kCapacity];
    DWORD flags[kCapacity];
    DWORD bytes[kCapacity];
    DWORD threads[kCapacity];
    // While set, input buffers go straight back to the device from the callback.
    HWAVEIN requeueTo;

    WaveLog() : changed(CreateEventA(nullptr, FALSE, FALSE, nullptr)), count(0), requeueTo(nullptr) {
        InitializeCriticalSection(&lock);
    }
    ~WaveLog() {
        DeleteCriticalSection(&lock);
        CloseHandle(changed);
    }

    void Add(UINT message, DWORD_PTR param1) {
        WAVEHDR *header = reinterpret_cast<WAVEHDR *>(param1);
        EnterCriticalSection(&lock);
        if (count < kCapacity) {
            messages[count] = message;
            headers[count] = header;
            flags[count] = header ? header->dwFlags : 0;
            bytes[count] = header ? header->dwBytesRecorded : 0;
            threads[count] = GetCurrentThreadId();
            ++count;
        }
        if (header && requeueTo) waveInAddBuffer(requeueTo, header, sizeof(WAVEHDR));
        LeaveCriticalSection(&lock);
        SetEvent(changed);
    }

    int Count() {
        EnterCriticalSection(&lock);
        const int result = count;
        LeaveCriticalSection(&lock);
        return result;
    }

    // Waits until at least `wanted` callbacks have been logged; false after `timeout` ms.
    bool WaitFor(int wanted, DWORD timeout) {
        const DWORD start = GetTickCount();
        while (Count() < wanted) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeout) return false;
            WaitForSingleObject(changed, timeout - elapsed);
        }
        return true;
    }

    void StopRequeue() {
        EnterCriticalSection(&lock);
        requeueTo = nullptr;
        LeaveCriticalSection(&lock);
    }
};

inline void CALLBACK LogWaveOut(HWAVEOUT, UINT message, DWORD_PTR log, DWORD_PTR param1, DWORD_PTR) {
    reinterpret_cast<WaveLog *>(log)->Add(message, param1);
}

inline void CALLBACK LogWaveIn(HWAVEIN, UINT message, DWORD_PTR log, DWORD_PTR param1, DWORD_PTR) {
    reinterpret_cast<WaveLog *>(log)->Add(message, param1);
}

// A file of SDL's disk driver (SDL_DISKAUDIOFILE, SDL_DISKAUDIOFILEIN) when the suite runs on
// that driver, else null: only there is the device's input or output a file the test can see.
inline const char *DiskAudioFile(const char *variable) {
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    return driver && std::strcmp(driver, "disk") == 0 ? std::getenv(variable) : nullptr;
}

// Points SDL's disk driver elsewhere for the devices opened from now on, and back when it goes.
class DiskAudioRedirect {
public:
    DiskAudioRedirect(const char *variable, const char *path) : m_variable(variable) {
        if (const char *old = std::getenv(variable)) m_old = old;
        Set(path);
    }
    ~DiskAudioRedirect() { Set(m_old.c_str()); }
    DiskAudioRedirect(const DiskAudioRedirect &) = delete;
    DiskAudioRedirect &operator=(const DiskAudioRedirect &) = delete;

private:
    void Set(const char *path) {
#ifdef _WIN32
        _putenv_s(m_variable, path);
#else
        setenv(m_variable, path, 1);
#endif
    }

    const char *m_variable;
    std::string m_old;
};
