// Open, play, seek, pause and close over and over (BRIVANE_SOAK_CYCLES): memory stays flat, shutdown leaves nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <unistd.h>

#include "HostHarness.h"
#include "PlaybackMedia.h"

namespace {

// Counts only, so that the host's own bookkeeping does not grow with the cycles.
struct CycleLog {
    std::atomic<uint32_t> handle{0};
    std::atomic<uint32_t> seen{0};  // a bit per event code of the current handle
    std::atomic<long> failures{0};

    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *, uint32_t) {
        CycleLog *log = reinterpret_cast<CycleLog *>(user);
        if (code == BRIVANE_EVENT_COMMAND_FAILED) ++log->failures;
        if (handle == log->handle && code < 32) log->seen |= 1u << code;
    }
    bool WaitFor(uint32_t code) {
        return WaitUntil([&] { return (seen & 1u << code) != 0; });
    }
};

long Entries(const char *directory) { return std::distance(std::filesystem::directory_iterator(directory), {}); }

// Resident bytes once the allocator has given back what it holds free.
long ResidentBytes() {
    malloc_trim(0);
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Cycles alternate the mode every time, the speed every second and the source (file or memory) every fourth.
bool Cycle(int cycle, CycleLog &log) {
    // Media long enough that a busy machine still posts the pause before the play after the seek ends.
    const Medium &medium = MediumNamed(cycle % 2 ? "long.wav" : "minutes.wma");
    const uint32_t mode = cycle % 2 ? BRIVANE_MODE_WAVE : BRIVANE_MODE_DECODE;
    const uint32_t handle =
        cycle / 4 % 2 ? AudioOutOpen(mode, medium.image.data(), int32_t(medium.image.size()), &CycleLog::OnPlay,
                                     BRIVANE_USER(&log))
                      : AudioOutFileOpen(mode, medium.widePath.c_str(), &CycleLog::OnPlay, BRIVANE_USER(&log));
    if (!handle) return false;
    log.handle = handle;
    log.seen = 0;
    AudioOutSetSpeed(handle, cycle / 2 % 2 ? 150 : 100);
    AudioOutPlay(handle, 0);
    bool played = log.WaitFor(BRIVANE_EVENT_DATA);
    // Posted at once after a seek while playing, the pause lands while the player restarts, and must pause it.
    AudioOutSeek(handle, 900);
    AudioOutPlay(handle, 1);
    played = played && log.WaitFor(BRIVANE_EVENT_PAUSED);
    AudioOutClose(handle);
    if (!played) std::printf("soak: cycle %d did not play and pause (events seen: %#x)\n", cycle, log.seen.load());
    return played;
}

TEST(Soak, CyclesLeaveMemoryThreadsAndDescriptorsAsTheyWere) {
    const int cycles = EnvInt("BRIVANE_SOAK_CYCLES", 120);
    CycleLog log;
    // A first round makes what lives as long as the process: media, the audio subsystem, the decoders' tables.
    ASSERT_EQ(1u, InitBrivane());
    ASSERT_TRUE(Cycle(0, log) && Cycle(1, log));
    UnInitBrivane();
    const long threads = Entries("/proc/self/task"), descriptors = Entries("/proc/self/fd");

    ASSERT_EQ(1u, InitBrivane());
    const int warmup = cycles / 10;
    long before = 0;
    int played = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (cycle == warmup) before = ResidentBytes();
        played += Cycle(cycle, log);
    }
    const long growth = ResidentBytes() - before;
    std::printf("soak: %d cycles, resident growth %.0f KB per 1000 cycles after %d warm-up cycles\n", cycles,
                growth / 1024.0 * 1000.0 / (cycles - warmup), warmup);
    EXPECT_EQ(cycles, played);
    EXPECT_EQ(0, log.failures);
// The sanitizers hold freed memory back in their own bookkeeping.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Short runs see the allocator's noise; a leak of an instance's buffers would pass this in a few hundred cycles.
    EXPECT_LT(growth, 4L << 20);
#endif
    UnInitBrivane();
    const auto back = [&] { return Entries("/proc/self/task") <= threads && Entries("/proc/self/fd") <= descriptors; };
    EXPECT_TRUE(WaitUntil(back)) << Entries("/proc/self/task") << " threads (" << threads << " before), "
                                 << Entries("/proc/self/fd") << " descriptors (" << descriptors << " before)";
}

}  // namespace
