#include "FailingAllocations.h"

#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace {
std::atomic<int> g_countdown{0};
std::atomic<bool> g_fired{false};

bool Refuse() {
    if (g_countdown.load(std::memory_order_relaxed) <= 0) return false;
    if (g_countdown.fetch_sub(1) != 1) return false;
    g_fired = true;
    return true;
}

// Globals, not function-local statics: a static's guard is the sanitizer's, unusable in a thread it is setting up.
Dl_info g_self;
const bool g_selfKnown = dladdr(reinterpret_cast<const void *>(&Refuse), &g_self) != 0;

// Only this program's and the media libraries' calls: the C library and sanitizer realloc for themselves (threads).
bool Counted(const void *caller) {
    if (g_countdown.load(std::memory_order_relaxed) <= 0) return false;
    Dl_info info;
    if (!g_selfKnown || !dladdr(caller, &info) || !info.dli_fname) return false;
    return info.dli_fbase == g_self.dli_fbase || std::strstr(info.dli_fname, "/libav") ||
           std::strstr(info.dli_fname, "/libswresample");
}

using ReallocFn = void *(*)(void *, size_t);
using PosixMemalignFn = int (*)(void **, size_t, size_t);

// The allocator behind ours: the C library's, or a sanitizer's that stands in front of it.
template <class Fn>
Fn Next(const char *name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
ReallocFn g_realloc = Next<ReallocFn>("realloc");
PosixMemalignFn g_posixMemalign = Next<PosixMemalignFn>("posix_memalign");
}  // namespace

namespace failalloc {
void FailNth(int nth) {
    g_fired = false;
    g_countdown = nth;
}
bool Fired() { return g_fired; }
}  // namespace failalloc

// Operator new, throwing and nothrow, and new[] as the library uses it, nothrow: mangled names spell size_t's width.
#if SIZE_MAX > 0xFFFFFFFFu
#define NEW(prefix) prefix##_Znwm
#define NOTHROW_NEW(prefix) prefix##_ZnwmRKSt9nothrow_t
#define NOTHROW_NEW_ARRAY(prefix) prefix##_ZnamRKSt9nothrow_t
#else
#define NEW(prefix) prefix##_Znwj
#define NOTHROW_NEW(prefix) prefix##_ZnwjRKSt9nothrow_t
#define NOTHROW_NEW_ARRAY(prefix) prefix##_ZnajRKSt9nothrow_t
#endif

extern "C" {
void *__real_malloc(size_t size);
void *__real_calloc(size_t count, size_t size);
void *NEW(__real_)(size_t size);
void *NOTHROW_NEW(__real_)(size_t size, const std::nothrow_t &tag);
void *NOTHROW_NEW_ARRAY(__real_)(size_t size, const std::nothrow_t &tag);

void *__wrap_malloc(size_t size) { return Refuse() ? nullptr : __real_malloc(size); }
void *__wrap_calloc(size_t count, size_t size) { return Refuse() ? nullptr : __real_calloc(count, size); }
void *NEW(__wrap_)(size_t size) {
    if (Refuse()) throw std::bad_alloc();
    return NEW(__real_)(size);
}
void *NOTHROW_NEW(__wrap_)(size_t size, const std::nothrow_t &tag) {
    return Refuse() ? nullptr : NOTHROW_NEW(__real_)(size, tag);
}
void *NOTHROW_NEW_ARRAY(__wrap_)(size_t size, const std::nothrow_t &tag) {
    return Refuse() ? nullptr : NOTHROW_NEW_ARRAY(__real_)(size, tag);
}

// These replace the C library's for every shared library too, but fail only for this program and the media libraries.
void *realloc(void *block, size_t size) {
    if (!g_realloc) g_realloc = Next<ReallocFn>("realloc");
    return Counted(__builtin_return_address(0)) && Refuse() ? nullptr : g_realloc(block, size);
}
int posix_memalign(void **out, size_t alignment, size_t size) {
    if (!g_posixMemalign) g_posixMemalign = Next<PosixMemalignFn>("posix_memalign");
    return Counted(__builtin_return_address(0)) && Refuse() ? ENOMEM : g_posixMemalign(out, alignment, size);
}
}
