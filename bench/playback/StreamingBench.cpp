// Long media through the exports on SDL's dummy driver: how much a playing process grows, whether
// another instance keeps its data pace while a long WAV starts in direct mode, and whether 100 players
// at 150 % all keep theirs, with their CPU time beside the decode-only cost of the same media. Each
// measurement runs in a child process, so it starts from a fresh heap.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BenchMedia.h"
#include "brivane.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kMaxPlayers = 100;

double ResidentMb() {
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// Every event of every handle, with the data events' arrival times.
struct Host {
    std::mutex lock;
    std::vector<Clock::time_point> dataAt[kMaxPlayers + 1];
    std::atomic<int> playing[kMaxPlayers + 1] = {};
    std::atomic<int> failed{0};
    std::atomic<int> allPlaying{0};
};

void BRIVANE_CALL OnEvent(uint32_t handle, BRIVANE_USER user, uint32_t event, const void *, uint32_t) {
    Host &host = *reinterpret_cast<Host *>(user);
    if (handle > kMaxPlayers) return;
    if (event == BRIVANE_EVENT_PLAYING && host.playing[handle]++ == 0) ++host.allPlaying;
    if (event == BRIVANE_EVENT_COMMAND_FAILED) ++host.failed;
    if (event == BRIVANE_EVENT_DATA) {
        std::lock_guard<std::mutex> guard(host.lock);
        host.dataAt[handle].push_back(Clock::now());
    }
}

// The figures body returns, computed in a child process; empty when the child failed.
std::vector<double> InChild(const std::function<std::vector<double>()> &body) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        const std::vector<double> figures = body();
        const ssize_t bytes = ssize_t(figures.size() * sizeof(double));
        _exit(write(pipeEnds[1], figures.data(), size_t(bytes)) == bytes ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::vector<double> figures;
    double value = 0;
    while (child > 0 && read(pipeEnds[0], &value, sizeof value) == ssize_t(sizeof value)) figures.push_back(value);
    close(pipeEnds[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? figures : std::vector<double>();
}

// Resident memory growth from just before the play command to 6 s (and 12 s) after its playing event.
void ResidentGrowth(benchmark::State &state, const char *extension, uint32_t mode, int32_t speed, int minutes) {
    const std::string path = Medium(minutes * 60, extension);
    if (path.empty()) return state.SkipWithError("the ffmpeg program could not make the medium");
    const std::u16string wide = Utf16(path);
    for (auto _ : state) {
        const std::vector<double> figures = InChild([&]() -> std::vector<double> {
            Host host;
            if (!InitBrivane()) return {};
            const uint32_t handle =
                AudioOutFileOpen(mode, wide.c_str(), &OnEvent, reinterpret_cast<BRIVANE_USER>(&host));
            AudioOutSetSpeed(handle, speed);
            const double before = ResidentMb();
            AudioOutPlay(handle, 0);
            if (!WaitFor(host.playing[handle], 1, 30.0)) return {};
            std::this_thread::sleep_for(std::chrono::seconds(6));
            const double at6 = ResidentMb();
            std::this_thread::sleep_for(std::chrono::seconds(6));
            const double at12 = ResidentMb();
            std::lock_guard<std::mutex> guard(host.lock);
            return {at6 - before, at12 - before, double(host.dataAt[handle].size())};
        });
        if (figures.size() != 3) return state.SkipWithError("the child process failed");
        std::printf(
            "Resident growth, %d min %s, mode %u, speed %d: %.1f MB at 6 s, %.1f MB at 12 s, %.0f data events\n",
            minutes, extension, mode, speed, figures[0], figures[1], figures[2]);
        state.counters["growth_6s_mb"] = figures[0];
        state.counters["growth_12s_mb"] = figures[1];
        state.counters["data_events"] = figures[2];
    }
}

// The largest gap between one handle's data events that arrived in [from, to).
double LargestGapMs(Host &host, uint32_t handle, Clock::time_point from, Clock::time_point to) {
    std::lock_guard<std::mutex> guard(host.lock);
    double largest = 0;
    const std::vector<Clock::time_point> &at = host.dataAt[handle];
    for (size_t i = 1; i < at.size(); ++i)
        if (at[i] >= from && at[i] < to) largest = std::max(largest, Seconds(at[i] - at[i - 1]) * 1000);
    return largest;
}

// One player plays a long WMA, alone for 4 s and then while a second opens and plays a 20-minute
// WAV in direct mode.
void PaceWhileAWaveStarts(benchmark::State &state) {
    const std::string wma = Medium(1200, "wma"), wav = Medium(1200, "wav");
    if (wma.empty() || wav.empty()) return state.SkipWithError("the ffmpeg program could not make the media");
    const std::u16string wideWma = Utf16(wma), wideWav = Utf16(wav);
    for (auto _ : state) {
        const std::vector<double> figures = InChild([&]() -> std::vector<double> {
            Host host;
            if (!InitBrivane()) return {};
            const BRIVANE_USER user = reinterpret_cast<BRIVANE_USER>(&host);
            const uint32_t steady = AudioOutFileOpen(BRIVANE_MODE_DECODE, wideWma.c_str(), &OnEvent, user);
            AudioOutPlay(steady, 0);
            if (!WaitFor(host.playing[steady], 1, 30.0)) return {};
            std::this_thread::sleep_for(std::chrono::seconds(1));
            const Clock::time_point alone = Clock::now();
            std::this_thread::sleep_for(std::chrono::seconds(4));
            const Clock::time_point posted = Clock::now();
            const uint32_t starting = AudioOutFileOpen(BRIVANE_MODE_WAVE, wideWav.c_str(), &OnEvent, user);
            AudioOutPlay(starting, 0);
            if (!WaitFor(host.playing[starting], 1, 30.0)) return {};
            const double startMs = Seconds(Clock::now() - posted) * 1000;
            std::this_thread::sleep_for(std::chrono::seconds(4));
            const Clock::time_point end = Clock::now();
            return {LargestGapMs(host, steady, alone, posted), LargestGapMs(host, steady, posted, end), startMs};
        });
        if (figures.size() != 3) return state.SkipWithError("the child process failed");
        std::printf(
            "Pace while a 20-minute WAV starts in direct mode: largest data gap %.1f ms alone, %.1f ms while "
            "it starts; open and play answered with the playing event after %.1f ms\n",
            figures[0], figures[1], figures[2]);
        state.counters["alone_gap_ms"] = figures[0];
        state.counters["largest_gap_ms"] = figures[1];
        state.counters["wave_start_ms"] = figures[2];
    }
}

void BRIVANE_CALL Discard(uint32_t, BRIVANE_USER, uint32_t, const void *, uint32_t) {}

// 100 players at 150 % on one 30 s WMA: data events each in 10 s of all playing, and CPU time.
void HundredPlayers(benchmark::State &state) {
    const std::string path = Medium(30, "wma");
    if (path.empty()) return state.SkipWithError("the ffmpeg program could not make the medium");
    const std::u16string wide = Utf16(path);
    for (auto _ : state) {
        const std::vector<double> figures = InChild([&]() -> std::vector<double> {
            if (!InitBrivane()) return {};
            // The decode-only cost of the 15 s of media that 10 s at 150 % take, on the same machine.
            const double decodeStart = CpuSeconds();
            GetAudioPCM(BRIVANE_KIND_AUDIO, path.c_str(), 0, 30000, &Discard, 0, nullptr);
            const double decodeMs = (CpuSeconds() - decodeStart) * 1000 * 15.0 / 30.0;
            Host host;
            std::vector<uint32_t> handles;
            for (int i = 0; i < kMaxPlayers; ++i) {
                handles.push_back(AudioOutFileOpen(BRIVANE_MODE_DECODE, wide.c_str(), &OnEvent,
                                                   reinterpret_cast<BRIVANE_USER>(&host)));
                AudioOutSetSpeed(handles.back(), 150);
                AudioOutPlay(handles.back(), 0);
            }
            if (!WaitFor(host.allPlaying, kMaxPlayers, 60.0)) return {};
            std::vector<size_t> before;
            {
                std::lock_guard<std::mutex> guard(host.lock);
                for (uint32_t handle : handles) before.push_back(host.dataAt[handle].size());
            }
            const double cpuStart = CpuSeconds();
            std::this_thread::sleep_for(std::chrono::seconds(10));
            const double cpuMs = (CpuSeconds() - cpuStart) * 1000 / kMaxPlayers;
            std::lock_guard<std::mutex> guard(host.lock);
            double fewest = 1e9, keptPace = 0;
            for (size_t i = 0; i < handles.size(); ++i) {
                const double events = double(host.dataAt[handles[i]].size() - before[i]);
                fewest = std::min(fewest, events);
                keptPace += events >= 190;
            }
            return {fewest, keptPace, cpuMs, decodeMs, double(host.failed.load())};
        });
        if (figures.size() != 5) return state.SkipWithError("the child process failed");
        std::printf(
            "100 players at 150 %%: fewest data events in 10 s %.0f of 200, %.0f players with 190 or more, "
            "%.0f failures; CPU %.1f ms per player per 10 s, decode-only %.1f ms for the same 15 s of media\n",
            figures[0], figures[1], figures[4], figures[2], figures[3]);
        state.counters["fewest_events"] = figures[0];
        state.counters["players_at_pace"] = figures[1];
        state.counters["cpu_ms_per_player"] = figures[2];
        state.counters["decode_only_ms"] = figures[3];
    }
}

void WholeRuns(benchmark::internal::Benchmark *benchmark) {
    benchmark->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
}

}  // namespace

BENCHMARK_CAPTURE(ResidentGrowth, Wma20min50, "wma", BRIVANE_MODE_DECODE, 50, 20)->Apply(WholeRuns);
BENCHMARK_CAPTURE(ResidentGrowth, Wma20min100, "wma", BRIVANE_MODE_DECODE, 100, 20)->Apply(WholeRuns);
BENCHMARK_CAPTURE(ResidentGrowth, Wma20min150, "wma", BRIVANE_MODE_DECODE, 150, 20)->Apply(WholeRuns);
BENCHMARK_CAPTURE(ResidentGrowth, Wma20min200, "wma", BRIVANE_MODE_DECODE, 200, 20)->Apply(WholeRuns);
BENCHMARK_CAPTURE(ResidentGrowth, Wav20min50, "wav", BRIVANE_MODE_WAVE, 50, 20)->Apply(WholeRuns);
BENCHMARK_CAPTURE(ResidentGrowth, Wav20min100, "wav", BRIVANE_MODE_WAVE, 100, 20)->Apply(WholeRuns);
BENCHMARK_CAPTURE(ResidentGrowth, Wav20min150, "wav", BRIVANE_MODE_WAVE, 150, 20)->Apply(WholeRuns);
BENCHMARK_CAPTURE(ResidentGrowth, Wav20min200, "wav", BRIVANE_MODE_WAVE, 200, 20)->Apply(WholeRuns);
BENCHMARK_CAPTURE(ResidentGrowth, Wma2h150, "wma", BRIVANE_MODE_DECODE, 150, 120)->Apply(WholeRuns);
BENCHMARK(PaceWhileAWaveStarts)->Apply(WholeRuns);
BENCHMARK(HundredPlayers)->Apply(WholeRuns);
