// What the CLI needs of the operating system it runs on; HostOs.cpp holds both hosts' versions,
// so no other CLI file knows which one it is built for (mingw's win32 thread model has no std::mutex
// or std::thread, hence the lock and thread here).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "brivane.h"

bool IsTerminal(std::FILE *stream);
// Raw PCM must pass through untouched by text-mode line-end translation.
void SetBinaryMode(std::FILE *stream);
// Gives the PCM the real standard output to itself: returns it as a binary stream and points
// standard output at standard error (where the library's diagnostics then go); null on failure.
std::FILE *TakeStandardOutput();
void SleepMs(unsigned ms);
// A fresh private directory under the host's temporary directory.
bool MakeScratchDirectory(std::string *directory);
void RemoveEmptyDirectory(const std::string &directory);
// A path from the command line as the library's wide text: the ANSI code page on Windows, UTF-8 on Linux.
std::basic_string<BRIVANE_WCHAR> WidePath(const char *path);
// Picks the demo's audio device (on Linux a machine without sound gets SDL's silent dummy driver)
// and says which one plays.
void ChooseDemoAudioDevice();

class HostMutex {
public:
    HostMutex();
    ~HostMutex();
    HostMutex(const HostMutex &) = delete;
    HostMutex &operator=(const HostMutex &) = delete;
    void lock();
    void unlock();

private:
    struct Native;
    Native *m_native;
};

// Runs one function on a thread of its own until Join.
class HostThread {
public:
    HostThread() = default;
    ~HostThread() { Join(); }
    HostThread(const HostThread &) = delete;
    HostThread &operator=(const HostThread &) = delete;
    bool Start(void (*run)(void *), void *context);
    void Join();

private:
    struct Native;
    static void Enter(HostThread *self) { self->m_run(self->m_context); }
    void (*m_run)(void *) = nullptr;
    void *m_context = nullptr;
    Native *m_native = nullptr;
};

// Holds a HostMutex for a scope.
class HostLockScope {
public:
    explicit HostLockScope(HostMutex &mutex) : m_mutex(mutex) { m_mutex.lock(); }
    ~HostLockScope() { m_mutex.unlock(); }
    HostLockScope(const HostLockScope &) = delete;
    HostLockScope &operator=(const HostLockScope &) = delete;

private:
    HostMutex &m_mutex;
};
