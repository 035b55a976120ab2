#include "FailingAllocations.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

namespace {
std::atomic<int> g_countdown{0};
std::atomic<bool> g_fired{false};

bool Refuse() {
    if (g_countdown.load() <= 0) return false;
    if (g_countdown.fetch_sub(1) != 1) return false;
    g_fired = true;
    return true;
}
}  // namespace

namespace failalloc {
void FailNth(int nth) {
    g_fired = false;
    g_countdown = nth;
}
bool Fired() { return g_fired; }
}  // namespace failalloc

// The nothrow operator new and new[] by their mangled names, which spell size_t's width.
#if SIZE_MAX > 0xFFFFFFFFu
#define NOTHROW_NEW(prefix) prefix##_ZnwmRKSt9nothrow_t
#define NOTHROW_NEW_ARRAY(prefix) prefix##_ZnamRKSt9nothrow_t
#else
#define NOTHROW_NEW(prefix) prefix##_ZnwjRKSt9nothrow_t
#define NOTHROW_NEW_ARRAY(prefix) prefix##_ZnajRKSt9nothrow_t
#endif

extern "C" {
void *__real_malloc(size_t size);
void *NOTHROW_NEW(__real_)(size_t size, const std::nothrow_t &tag);
void *NOTHROW_NEW_ARRAY(__real_)(size_t size, const std::nothrow_t &tag);

void *__wrap_malloc(size_t size) { return Refuse() ? nullptr : __real_malloc(size); }
void *NOTHROW_NEW(__wrap_)(size_t size, const std::nothrow_t &tag) {
    return Refuse() ? nullptr : NOTHROW_NEW(__real_)(size, tag);
}
void *NOTHROW_NEW_ARRAY(__wrap_)(size_t size, const std::nothrow_t &tag) {
    return Refuse() ? nullptr : NOTHROW_NEW_ARRAY(__real_)(size, tag);
}
}
