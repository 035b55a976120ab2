#include "HostOs.h"

#include <cstdlib>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

bool IsTerminal(std::FILE *stream) { return _isatty(_fileno(stream)) != 0; }

void SetBinaryMode(std::FILE *stream) { _setmode(_fileno(stream), _O_BINARY); }

std::FILE *TakeStandardOutput() {
    std::fflush(stdout);
    const int fd = _dup(1);
    if (fd < 0 || _dup2(2, 1) < 0) return nullptr;
    _setmode(fd, _O_BINARY);
    return _fdopen(fd, "wb");
}

void SleepMs(unsigned ms) { Sleep(ms); }

bool MakeScratchDirectory(std::string *directory) {
    char base[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, base)) return false;
    *directory = std::string(base) + "brivane-demo-" + std::to_string(GetCurrentProcessId());
    return _mkdir(directory->c_str()) == 0;
}

void RemoveEmptyDirectory(const std::string &directory) { _rmdir(directory.c_str()); }

std::basic_string<BRIVANE_WCHAR> WidePath(const char *path) {
    const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (units <= 1) return {};
    std::basic_string<BRIVANE_WCHAR> wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units - 1));
    return wide;
}

void ChooseDemoAudioDevice() { std::printf("Audio device: the Windows default wave devices.\n"); }

struct HostMutex::Native {
    CRITICAL_SECTION section;
};

HostMutex::HostMutex() : m_native(new Native) { InitializeCriticalSection(&m_native->section); }
HostMutex::~HostMutex() {
    DeleteCriticalSection(&m_native->section);
    delete m_native;
}
void HostMutex::lock() { EnterCriticalSection(&m_native->section); }
void HostMutex::unlock() { LeaveCriticalSection(&m_native->section); }

struct HostThread::Native {
    HANDLE thread;
    static DWORD WINAPI Main(LPVOID self) {
        Enter(static_cast<HostThread *>(self));
        return 0;
    }
};

bool HostThread::Start(void (*run)(void *), void *context) {
    m_run = run;
    m_context = context;
    const HANDLE thread = CreateThread(nullptr, 0, &Native::Main, this, 0, nullptr);
    if (!thread) return false;
    m_native = new Native{thread};
    return true;
}

void HostThread::Join() {
    if (!m_native) return;
    WaitForSingleObject(m_native->thread, INFINITE);
    CloseHandle(m_native->thread);
    delete m_native;
    m_native = nullptr;
}

#else
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

bool IsTerminal(std::FILE *stream) { return isatty(fileno(stream)) != 0; }

void SetBinaryMode(std::FILE *) {}

std::FILE *TakeStandardOutput() {
    std::fflush(stdout);
    const int fd = dup(1);
    if (fd < 0 || dup2(2, 1) < 0) return nullptr;
    return fdopen(fd, "wb");
}

void SleepMs(unsigned ms) {
    timespec delay{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&delay, nullptr);
}

bool MakeScratchDirectory(std::string *directory) {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/brivane-demo-XXXXXX";
    if (!mkdtemp(&pattern[0])) return false;
    *directory = pattern;
    return true;
}

void RemoveEmptyDirectory(const std::string &directory) { rmdir(directory.c_str()); }

// Linux paths are UTF-8; a byte that starts no valid sequence becomes U+FFFD.
std::basic_string<BRIVANE_WCHAR> WidePath(const char *path) {
    std::basic_string<BRIVANE_WCHAR> wide;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(path);
    while (*p) {
        const unsigned lead = *p;
        const int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        char32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        int taken = 1;
        while (extra > 0 && taken <= extra && (p[taken] & 0xC0) == 0x80) code = (code << 6) | (p[taken++] & 0x3F);
        if (extra < 0 || taken != extra + 1) {
            wide.push_back(0xFFFD);
            p += extra < 0 ? 1 : taken;
            continue;
        }
        p += taken;
        if (code >= 0x10000) {
            wide.push_back(static_cast<BRIVANE_WCHAR>(0xD800 + ((code - 0x10000) >> 10)));
            wide.push_back(static_cast<BRIVANE_WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            wide.push_back(static_cast<BRIVANE_WCHAR>(code));
        }
    }
    return wide;
}

void ChooseDemoAudioDevice() {
    if (const char *driver = std::getenv("SDL_AUDIODRIVER")) {
        std::printf("Audio device: SDL's \"%s\" driver (from SDL_AUDIODRIVER).\n", driver);
        return;
    }
    struct stat info;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool server = runtime && (stat((std::string(runtime) + "/pulse/native").c_str(), &info) == 0 ||
                                    stat((std::string(runtime) + "/pipewire-0").c_str(), &info) == 0);
    if (!server && stat("/dev/snd/controlC0", &info) != 0) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::printf("Audio device: no sound card here, so SDL's silent \"dummy\" driver plays and records.\n");
        return;
    }
    std::printf("Audio device: SDL's default choice (set SDL_AUDIODRIVER to pick another).\n");
}

struct HostMutex::Native {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
};

HostMutex::HostMutex() : m_native(new Native) {}
HostMutex::~HostMutex() {
    pthread_mutex_destroy(&m_native->mutex);
    delete m_native;
}
void HostMutex::lock() { pthread_mutex_lock(&m_native->mutex); }
void HostMutex::unlock() { pthread_mutex_unlock(&m_native->mutex); }

struct HostThread::Native {
    pthread_t thread;
    static void *Main(void *self) {
        Enter(static_cast<HostThread *>(self));
        return nullptr;
    }
};

bool HostThread::Start(void (*run)(void *), void *context) {
    m_run = run;
    m_context = context;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, &Native::Main, this) != 0) return false;
    m_native = new Native{thread};
    return true;
}

void HostThread::Join() {
    if (!m_native) return;
    pthread_join(m_native->thread, nullptr);
    delete m_native;
    m_native = nullptr;
}
#endif
