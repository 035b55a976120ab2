#include "AllocationHook.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <dlfcn.h>
#include <execinfo.h>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *block);
}

namespace {

const int kThreads = 512;
const int kSamples = 1 << 16;
const int kDepth = 40;
// Frames of the hook itself at the top of every stack: Record and the interposed entry point.
const int kHookFrames = 2;

struct ThreadSlot {
    std::atomic<uintptr_t> id;
    std::atomic<uint64_t> count;
    std::atomic<uint64_t> bytes;
    char name[16];
};

struct Sample {
    int thread;
    int depth;
    void *frames[kDepth];
};

ThreadSlot g_threads[kThreads];
Sample g_samples[kSamples];
std::atomic<bool> g_open{false};
uintptr_t g_hostThread = 0;
std::atomic<uint64_t> g_total{0};
std::atomic<uint64_t> g_taken{0};
// Set while this thread is inside the hook, so that the unwinder's own allocations are not counted.
thread_local bool t_inside = false;

int ThisThreadSlot() {
    const uintptr_t self = static_cast<uintptr_t>(pthread_self());
    const size_t start = (self >> 8) % kThreads;
    for (int i = 0; i < kThreads; ++i) {
        ThreadSlot &slot = g_threads[(start + i) % kThreads];
        uintptr_t id = slot.id.load(std::memory_order_acquire);
        if (id == self) return static_cast<int>((start + i) % kThreads);
        if (id == 0 && slot.id.compare_exchange_strong(id, self)) {
            pthread_getname_np(pthread_self(), slot.name, sizeof slot.name);
            return static_cast<int>((start + i) % kThreads);
        }
    }
    return -1;
}

void Record(size_t bytes) {
    if (!g_open.load(std::memory_order_relaxed) || t_inside) return;
    t_inside = true;
    g_total.fetch_add(1, std::memory_order_relaxed);
    const int slot = ThisThreadSlot();
    if (slot >= 0) {
        g_threads[slot].count.fetch_add(1, std::memory_order_relaxed);
        g_threads[slot].bytes.fetch_add(bytes, std::memory_order_relaxed);
    }
    const uint64_t taken = g_taken.fetch_add(1, std::memory_order_relaxed);
    if (taken < kSamples) {
        Sample &sample = g_samples[taken];
        sample.thread = slot;
        sample.depth = backtrace(sample.frames, kDepth);
    }
    t_inside = false;
}

enum class Origin { Library, Ffmpeg, Sdl, Runtime };

struct Module {
    std::string path;
    uintptr_t base;
};

Module ModuleOf(void *address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) return Module{"", 0};
    return Module{info.dli_fname, reinterpret_cast<uintptr_t>(info.dli_fbase)};
}

bool IsRuntime(const std::string &path) {
    return path.find("libc.so") != std::string::npos || path.find("libstdc++") != std::string::npos ||
           path.find("libgcc") != std::string::npos;
}

Origin OriginOf(const std::string &path) {
    if (IsRuntime(path)) return Origin::Runtime;
    if (path.find("libav") != std::string::npos || path.find("libsw") != std::string::npos) return Origin::Ffmpeg;
    if (path.find("SDL") != std::string::npos) return Origin::Sdl;
    return Origin::Library;
}

const char *OriginName(Origin origin) {
    switch (origin) {
    case Origin::Ffmpeg: return "FFmpeg";
    case Origin::Sdl: return "SDL";
    case Origin::Runtime: return "C/C++ runtime";
    default: return "library";
    }
}

// Function and source line of each return address, one addr2line run per module.
std::map<void *, std::string> Symbolize(const std::set<void *> &addresses) {
    std::map<std::string, std::vector<std::pair<void *, uintptr_t>>> byModule;
    for (void *address : addresses) {
        Module module = ModuleOf(address);
        if (!module.path.empty())
            byModule[module.path].emplace_back(address, reinterpret_cast<uintptr_t>(address) - module.base - 1);
    }
    std::map<void *, std::string> names;
    for (const auto &entry : byModule) {
        std::string command = "addr2line -f -C -e '" + entry.first + "'";
        char offset[32];
        for (const auto &address : entry.second) {
            std::snprintf(offset, sizeof offset, " %#lx", static_cast<unsigned long>(address.second));
            command += offset;
        }
        FILE *pipe = popen(command.c_str(), "r");
        if (!pipe) continue;
        char function[4096];
        char line[4096];
        for (const auto &address : entry.second) {
            if (!std::fgets(function, sizeof function, pipe) || !std::fgets(line, sizeof line, pipe)) break;
            function[std::strcspn(function, "\n")] = 0;
            line[std::strcspn(line, "\n")] = 0;
            std::string name = function;
            if (name == "??") {
                Dl_info info{};
                name = dladdr(address.first, &info) && info.dli_sname ? info.dli_sname : "??";
            }
            const char *slash = std::strrchr(line, '/');
            const char *base = std::strrchr(entry.first.c_str(), '/');
            names[address.first] =
                name + " (" +
                (std::strncmp(line, "??", 2) == 0 ? (base ? base + 1 : "?") : (slash ? slash + 1 : line)) + ")";
        }
        pclose(pipe);
    }
    return names;
}

// What a thread is, told by the entry point at the bottom of its stacks.
std::string RoleOf(const std::string &frame) {
    static const std::pair<const char *, const char *> kMarkers[] = {
        {"CTickThread", "tick thread"},
        {"CPlayer::RenderThread", "render thread"},
        {"CReaderWorker", "reader worker thread"},
        {"CAudioEndpoint::Run", "SDL device thread"},
        {"SDL_RunAudio", "SDL device thread"},
        {"CWaveDevice::Run", "wave device thread"},
    };
    for (const auto &marker : kMarkers)
        if (frame.find(marker.first) != std::string::npos) return marker.second;
    return std::string();
}

// The first frame below the hook that is not in the C or C++ runtime: who asked for the memory.
int CallerFrame(const Sample &sample) {
    for (int i = kHookFrames; i < sample.depth; ++i)
        if (!IsRuntime(ModuleOf(sample.frames[i]).path)) return i;
    return sample.depth - 1;
}

}  // namespace

extern "C" {

void *malloc(size_t size) {
    Record(size);
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size) {
    Record(count * size);
    return __libc_calloc(count, size);
}

void *realloc(void *block, size_t size) {
    if (size) Record(size);
    return __libc_realloc(block, size);
}

void *memalign(size_t alignment, size_t size) {
    Record(size);
    return __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size) {
    Record(size);
    return __libc_memalign(alignment, size);
}

int posix_memalign(void **result, size_t alignment, size_t size) {
    if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0) return EINVAL;
    Record(size);
    void *block = __libc_memalign(alignment, size);
    if (!block) return ENOMEM;
    *result = block;
    return 0;
}

void free(void *block) { __libc_free(block); }

}  // extern "C"

namespace allochook {

void Prepare() {
    g_hostThread = static_cast<uintptr_t>(pthread_self());
    void *frames[4];
    backtrace(frames, 4);
}

void OpenWindow() {
    for (ThreadSlot &slot : g_threads) {
        slot.id.store(0);
        slot.count.store(0);
        slot.bytes.store(0);
        slot.name[0] = 0;
    }
    g_total.store(0);
    g_taken.store(0);
    g_open.store(true);
}

void CloseWindow() { g_open.store(false); }

uint64_t Total() { return g_total.load(); }

uint64_t Unsampled() {
    const uint64_t taken = g_taken.load();
    return taken > kSamples ? taken - kSamples : 0;
}

uint64_t Report(FILE *out, double seconds, pthread_t serviceThread) {
    // Group the stacks by thread and call path; print each path once with its rate.
    const uint64_t samples = std::min<uint64_t>(g_taken.load(), kSamples);
    std::map<std::pair<int, std::vector<void *>>, uint64_t> groups;
    std::set<void *> addresses;
    for (uint64_t i = 0; i < samples; ++i) {
        const Sample &sample = g_samples[i];
        std::vector<void *> path(sample.frames + CallerFrame(sample), sample.frames + sample.depth);
        addresses.insert(path.begin(), path.end());
        ++groups[{sample.thread, path}];
    }
    std::map<void *, std::string> names = Symbolize(addresses);
    std::map<int, std::string> roles;
    for (const auto &group : groups) {
        std::string &role = roles[group.first.first];
        for (void *frame : group.first.second)
            if (role.empty() && names.count(frame)) role = RoleOf(names[frame]);
    }
    for (auto &role : roles) {
        const ThreadSlot *slot = role.first >= 0 ? &g_threads[role.first] : nullptr;
        if (slot && slot->id.load() == static_cast<uintptr_t>(serviceThread))
            role.second = "service thread";
        else if (slot && slot->id.load() == g_hostThread)
            role.second = "host thread";
        else if (role.second.empty()) {
            char label[64];
            std::snprintf(label, sizeof label, "thread %#lx \"%s\"",
                          static_cast<unsigned long>(slot ? slot->id.load() : 0), slot ? slot->name : "?");
            role.second = label;
        }
    }

    std::fprintf(out, "  %llu allocations in %.1f s (%.1f/s)\n", static_cast<unsigned long long>(Total()), seconds,
                 double(Total()) / seconds);
    std::map<std::pair<std::string, Origin>, uint64_t> byOrigin;
    uint64_t library = 0;
    for (const auto &group : groups) {
        const std::vector<void *> &path = group.first.second;
        const Origin origin = path.empty() ? Origin::Runtime : OriginOf(ModuleOf(path.front()).path);
        byOrigin[{roles[group.first.first], origin}] += group.second;
        if (origin == Origin::Library || origin == Origin::Runtime) library += group.second;
    }
    for (const auto &entry : byOrigin)
        std::fprintf(out, "  %s, asked by %s: %.1f/s\n", entry.first.first.c_str(), OriginName(entry.first.second),
                     double(entry.second) / seconds);
    std::vector<std::pair<uint64_t, const std::pair<int, std::vector<void *>> *>> ordered;
    for (const auto &group : groups) ordered.emplace_back(group.second, &group.first);
    std::sort(ordered.begin(), ordered.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    for (const auto &group : ordered) {
        const std::vector<void *> &path = group.second->second;
        const Origin origin = path.empty() ? Origin::Runtime : OriginOf(ModuleOf(path.front()).path);
        std::fprintf(out, "  %.1f/s on the %s, asked by %s:\n", double(group.first) / seconds,
                     roles[group.second->first].c_str(), OriginName(origin));
        for (size_t i = 0; i < path.size() && i < 12; ++i) {
            auto name = names.find(path[i]);
            std::fprintf(out, "      %s\n", name != names.end() ? name->second.c_str() : "??");
        }
    }
    if (Unsampled())
        std::fprintf(out, "  %llu allocations beyond the stack store are counted but not shown\n",
                     static_cast<unsigned long long>(Unsampled()));
    return library;
}

}  // namespace allochook
