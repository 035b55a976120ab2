#include "ProcessRace.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>

namespace {

struct Cost {
    double wall = 0;
    double cpu = 0;
};

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool Run(const std::string &command, Cost &total, double &wall) {
    const double cpuBefore = ChildrenCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = std::system(command.c_str()) == 0;
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    total.wall += wall;
    total.cpu += ChildrenCpuSeconds() - cpuBefore;
    return ok;
}

}  // namespace

void RaceAgainstFfmpeg(benchmark::State &state, const std::string &ours, const std::string &ffmpeg, const char *name,
                       int seconds) {
    Cost oursCost, ffmpegCost;
    bool ok = true;
    long round = 0;
    for (auto _ : state) {
        double oursNow = 0, ffmpegNow = 0;
        if (round++ % 2 == 0) {
            ok = Run(ours, oursCost, oursNow) && ok;
            ok = Run(ffmpeg, ffmpegCost, ffmpegNow) && ok;
        } else {
            ok = Run(ffmpeg, ffmpegCost, ffmpegNow) && ok;
            ok = Run(ours, oursCost, oursNow) && ok;
        }
        // The benchmark's own time is ours; the ffmpeg program's is a counter beside it.
        state.SetIterationTime(oursNow);
    }
    if (!ok) state.SkipWithError("a run failed");
    const double iterations = double(state.iterations());
    const std::string ourName = name;
    state.counters[ourName + "_s"] = oursCost.wall / iterations;
    state.counters["ffmpeg_s"] = ffmpegCost.wall / iterations;
    state.counters[ourName + "/ffmpeg"] = oursCost.wall / ffmpegCost.wall;
    state.counters[ourName + "_cpu_s"] = oursCost.cpu / iterations;
    state.counters["ffmpeg_cpu_s"] = ffmpegCost.cpu / iterations;
    state.counters["cpu " + ourName + "/ffmpeg"] = oursCost.cpu / ffmpegCost.cpu;
    state.counters["x_realtime"] = seconds * iterations / oursCost.wall;
}
