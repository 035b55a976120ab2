// Playback under load. Steady allocations: one player plays a 20 s medium through the exports; after
// its first second, every heap allocation of the process is counted for 8 s with the thread and call
// path that made it. Event latency: 20 players play a 10 s medium at once on the service thread, and
// every event is timed from the player's call of the service's sink to the host callback.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "AllocationHook.h"
#include "BenchMedia.h"
#include "LatencyLog.h"
#include "TimedPlayer.h"
#include "brivane.h"
#include "core/AudioService.h"
#include "core/InstanceTable.h"
#include "playback/SourcePlayer.h"

namespace {

enum : uint32_t { kModeReader = 1, kModeWave = 2 };
enum : uint32_t { kEventPlaying = 3, kEventData = 4, kEventEnd = 5 };

const int kPlayers = 20;
const double kWarmUpSeconds = 1.0;
const double kWindowSeconds = 8.0;

struct HostEvents {
    std::atomic<int> playing{0};
    std::atomic<int> data{0};
    std::atomic<int> ended{0};
    std::atomic<int> failed{0};
    std::atomic<pthread_t> serviceThread{};
};

void Count(HostEvents &host, uint32_t event) {
    host.serviceThread.store(pthread_self());
    if (event == kEventPlaying) ++host.playing;
    if (event == kEventData) ++host.data;
    if (event == kEventEnd) ++host.ended;
    if (event == EVENT_COMMAND_FAILED) ++host.failed;
}

void BRIVANE_CALL CountingCallback(uint32_t, BRIVANE_USER user, uint32_t event, const void *, uint32_t) {
    Count(*reinterpret_cast<HostEvents *>(user), event);
}

// One player through the exports; the window opens after its first second of playback.
void SteadyAllocations(benchmark::State &state, const char *extension, uint32_t mode, int32_t speed) {
    const std::string path = Medium(20, extension);
    if (path.empty()) {
        state.SkipWithError("the ffmpeg program could not make the medium");
        return;
    }
    const std::u16string wide = Utf16(path);
    allochook::Prepare();
    uint64_t ours = 0;
    uint64_t total = 0;
    for (auto _ : state) {
        HostEvents host;
        if (!InitBrivane()) {
            state.SkipWithError("InitBrivane failed");
            return;
        }
        const uint32_t handle =
            AudioOutFileOpen(mode, wide.c_str(), &CountingCallback, reinterpret_cast<BRIVANE_USER>(&host));
        AudioOutSetSpeed(handle, speed);
        AudioOutPlay(handle, 0);
        const bool started = WaitFor(host.playing, 1, 5.0);
        std::this_thread::sleep_for(std::chrono::duration<double>(kWarmUpSeconds));
        const int dataBefore = host.data.load();
        allochook::OpenWindow();
        std::this_thread::sleep_for(std::chrono::duration<double>(kWindowSeconds));
        allochook::CloseWindow();
        const int blocks = host.data.load() - dataBefore;
        const bool stillPlaying = host.ended.load() == 0 && host.failed.load() == 0;
        AudioOutClose(handle);
        UnInitBrivane();
        if (!started || !stillPlaying || blocks == 0) {
            std::fprintf(stderr, "playing %d, data %d (%d in the window), ended %d, failed %d\n", host.playing.load(),
                         host.data.load(), blocks, host.ended.load(), host.failed.load());
            state.SkipWithError("the player did not play through the whole window");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::printf("Steady allocations, %s, mode %u, speed %d; %d data blocks in the window\n", extension, mode, speed,
                    blocks);
        ours += allochook::Report(stdout, kWindowSeconds, host.serviceThread.load());
        total += allochook::Total();
    }
    state.counters["allocs_per_s"] =
        benchmark::Counter(double(total) / kWindowSeconds, benchmark::Counter::kAvgIterations);
    state.counters["our_allocs_per_s"] =
        benchmark::Counter(double(ours) / kWindowSeconds, benchmark::Counter::kAvgIterations);
}

CLatencyLog g_latency(1 << 20);

IPlayerCommands *NewTimedPlayer() {
    CSourcePlayer *inner = new (std::nothrow) CSourcePlayer;
    if (!inner) return nullptr;
    CTimedPlayer *player = new (std::nothrow) CTimedPlayer(inner, &g_latency);
    if (!player) inner->Destroy();
    return player;
}

void BRIVANE_CALL LatencyCallback(uint32_t handle, BRIVANE_USER user, uint32_t event, const void *, uint32_t) {
    Count(*reinterpret_cast<HostEvents *>(user), event);
    if (event != EVENT_COMMAND_FAILED) g_latency.Delivered(handle, event);
}

// Opens a player on the service as the file-open export does, and posts its play command.
WORD OpenAndPlay(CInstanceTable &table, CAudioService &service, AudioOutOpenParams params, HostEvents &host) {
    table.Lock();
    InstanceEntry *entry = table.AllocEntry();
    AudioOutOpenParams *copy = entry ? static_cast<AudioOutOpenParams *>(std::malloc(sizeof params)) : nullptr;
    if (!copy) {
        if (entry) table.ClearEntry(entry);
        table.Unlock();
        return 0;
    }
    *copy = params;
    entry->openParams = copy;
    entry->openParamsSize = sizeof params;
    const WORD handle = entry->handle;
    table.Unlock();
    service.SetPlaybackCallback(&LatencyCallback, reinterpret_cast<BRIVANE_USER>(&host));
    service.Post(MakeCommand(CMD_OPEN, handle), 0, TRUE, nullptr, 0, 0);
    service.Post(MakeCommand(CMD_PLAY, handle), 0, TRUE, nullptr, 0, 0);
    return handle;
}

void Close(CInstanceTable &table, CAudioService &service, WORD handle) {
    table.Lock();
    if (InstanceEntry *entry = table.FindEntry(handle)) entry->image.closing = 1;
    table.Unlock();
    service.Post(MakeCommand(CMD_CLOSE, handle), 0, TRUE, nullptr, 0, 0);
}

double Percentile(std::vector<int64_t> &values, double fraction) {
    if (values.empty()) return 0;
    const size_t rank = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    std::nth_element(values.begin(), values.begin() + rank, values.end());
    return double(values[rank]) / 1e6;
}

// 20 players at once on the library's service thread, each event timed from its sink call.
void EventLatency(benchmark::State &state, const char *extension, uint32_t mode) {
    const std::string path = Medium(10, extension);
    if (path.empty()) {
        state.SkipWithError("the ffmpeg program could not make the medium");
        return;
    }
    const std::u16string wide = Utf16(path);
    const AudioOutOpenParams params{mode, SOURCE_FILE, wide.c_str(), DWORD(wide.size() * 2)};
    // Phases: starting (until the last player's playing event reached the host), all playing (until
    // the first end event was raised), ending (the rest).
    std::vector<int64_t> phases[4];
    const char *const phaseNames[4] = {"whole run", "starting", "all playing", "ending"};
    for (auto _ : state) {
        HostEvents host;
        g_latency.Clear();
        CInstanceTable table;
        CAudioService service(&table, InstanceFactory{&NewTimedPlayer, nullptr});
        service.Start(0);
        WORD handles[kPlayers];
        for (WORD &handle : handles) handle = OpenAndPlay(table, service, params, host);
        const bool allPlayed = WaitFor(host.playing, kPlayers, 10.0);
        const bool allEnded = WaitFor(host.ended, kPlayers, 30.0);
        for (WORD handle : handles) Close(table, service, handle);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        service.DisposeIdle();
        service.Stop(TRUE);
        table.CloseAll();
        if (!allPlayed || !allEnded || host.failed.load() != 0 || g_latency.Unmatched() != 0) {
            state.SkipWithError("not every player played to its end, or a delivery found no raise time");
            return;
        }
        int64_t allPlayingNs = 0;
        int64_t firstEndNs = INT64_MAX;
        for (const CLatencyLog::Delivery &delivery : g_latency.Deliveries()) {
            if (delivery.code == kEventPlaying)
                allPlayingNs = std::max(allPlayingNs, delivery.raisedNs + delivery.latencyNs);
            if (delivery.code == kEventEnd) firstEndNs = std::min(firstEndNs, delivery.raisedNs);
        }
        for (const CLatencyLog::Delivery &delivery : g_latency.Deliveries()) {
            phases[0].push_back(delivery.latencyNs);
            const int phase = delivery.raisedNs < allPlayingNs ? 1 : delivery.raisedNs < firstEndNs ? 2 : 3;
            phases[phase].push_back(delivery.latencyNs);
        }
        std::printf(
            "Event latency, %s, mode %u, %d players: all playing for %.2f s; %llu open and play steps held "
            "the service thread %.1f ms in all, at most %.1f ms at once\n",
            extension, mode, kPlayers, double(firstEndNs - allPlayingNs) / 1e9,
            static_cast<unsigned long long>(g_latency.Commands()), double(g_latency.CommandNs()) / 1e6,
            double(g_latency.CommandMaxNs()) / 1e6);
    }
    for (int phase = 0; phase < 4; ++phase) {
        const double p50 = Percentile(phases[phase], 0.50);
        const double p99 = Percentile(phases[phase], 0.99);
        const double max = Percentile(phases[phase], 1.0);
        std::printf("  %-12s %6zu events  p50 %7.3f ms  p99 %7.3f ms  max %7.3f ms\n", phaseNames[phase],
                    phases[phase].size(), p50, p99, max);
        if (phase == 0 || phase == 2) {
            const std::string prefix = phase == 0 ? "" : "playing_";
            state.counters[prefix + "events"] = double(phases[phase].size());
            state.counters[prefix + "p50_ms"] = p50;
            state.counters[prefix + "p99_ms"] = p99;
            state.counters[prefix + "max_ms"] = max;
        }
    }
}

void ConfigureWholeRuns(benchmark::internal::Benchmark *benchmark) {
    benchmark->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
}

}  // namespace

BENCHMARK_CAPTURE(SteadyAllocations, WavDirect, "wav", kModeWave, 100)->Apply(ConfigureWholeRuns);
BENCHMARK_CAPTURE(SteadyAllocations, WmaReader, "wma", kModeReader, 100)->Apply(ConfigureWholeRuns);
BENCHMARK_CAPTURE(SteadyAllocations, WmaPaced150, "wma", kModeReader, 150)->Apply(ConfigureWholeRuns);
BENCHMARK_CAPTURE(EventLatency, WmaReader20, "wma", kModeReader)->Apply(ConfigureWholeRuns);
BENCHMARK_CAPTURE(EventLatency, WavDirect20, "wav", kModeWave)->Apply(ConfigureWholeRuns);

BENCHMARK_MAIN();
