// The demo's playback step: one playback instance with every event shown as it arrives.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "CliSupport.h"
#include "DemoSteps.h"
#include "HostOs.h"

namespace {

using Clock = std::chrono::steady_clock;
const int kBarWidth = 32;

struct PlayWatch {
    bool terminal = false;
    uint32_t expectedMs = 0;
    int32_t speed = 100;
    std::atomic<int> outcome{-1};  // -1 while playing, 0 ended, 1 failed
    // Touched by the callback only, on the service thread.
    uint32_t bytesPerSecond = 0;
    uint64_t dataBytes = 0;
    unsigned blocks = 0;
    unsigned lastLineMs = 0;
    Clock::time_point playingAt;
    double playedSeconds = 0;
};

void ShowProgress(PlayWatch *watch) {
    const unsigned mediumMs = watch->bytesPerSecond ? unsigned(watch->dataBytes * 1000 / watch->bytesPerSecond) : 0;
    if (watch->terminal) {
        const unsigned filled = watch->expectedMs ? unsigned(uint64_t(kBarWidth) * mediumMs / watch->expectedMs) : 0;
        std::printf("\r    [");
        for (int i = 0; i < kBarWidth; ++i) std::putchar(unsigned(i) < filled ? '#' : '.');
        std::printf("] %5.2f s of %.2f s", mediumMs / 1000.0, watch->expectedMs / 1000.0);
    } else if (mediumMs >= watch->lastLineMs + 1000) {
        watch->lastLineMs = mediumMs - mediumMs % 1000;
        std::printf("    data: %u blocks, %.2f s of PCM so far\n", watch->blocks, mediumMs / 1000.0);
    }
}

void BRIVANE_CALL OnEvent(uint32_t, BRIVANE_USER user, uint32_t event, const void *payload, uint32_t size) {
    PlayWatch *watch = reinterpret_cast<PlayWatch *>(user);
    if (event == BRIVANE_EVENT_DATA) {
        watch->dataBytes += size;
        ++watch->blocks;
        ShowProgress(watch);
    } else if (event == BRIVANE_EVENT_FORMAT && size == sizeof(BrivaneWaveFormat)) {
        BrivaneWaveFormat format;
        std::memcpy(&format, payload, sizeof format);
        watch->bytesPerSecond = format.nAvgBytesPerSec;
        std::printf("    event: format, %u Hz, %u channel(s), %u-bit PCM\n", unsigned(format.nSamplesPerSec),
                    unsigned(format.nChannels), unsigned(format.wBitsPerSample));
    } else if (event == BRIVANE_EVENT_PLAYING) {
        watch->playingAt = Clock::now();
        std::printf("    event: playing\n");
    } else if (event == BRIVANE_EVENT_END) {
        watch->playedSeconds = std::chrono::duration<double>(Clock::now() - watch->playingAt).count();
        std::printf("%s    event: end, %u data blocks, %.2f s of PCM, played in %.2f s\n", watch->terminal ? "\n" : "",
                    watch->blocks, watch->bytesPerSecond ? double(watch->dataBytes) / watch->bytesPerSecond : 0.0,
                    watch->playedSeconds);
        watch->outcome = 0;
    } else if (event == BRIVANE_EVENT_COMMAND_FAILED) {
        std::printf("%s    event: command failed\n", watch->terminal ? "\n" : "");
        watch->outcome = 1;
    } else {
        std::printf("    event: %u\n", unsigned(event));
    }
    std::fflush(stdout);
}

}  // namespace

StepResult PlayWithEvents(const std::string &path, int32_t speed, uint32_t expectedMs) {
    PlayWatch watch;
    watch.terminal = IsTerminal(stdout);
    watch.expectedMs = expectedMs;
    watch.speed = speed;
    const std::basic_string<BRIVANE_WCHAR> wide = Wide(path);
    StepResult result;
    const uint32_t handle =
        AudioOutFileOpen(BRIVANE_MODE_DECODE, wide.c_str(), &OnEvent, reinterpret_cast<BRIVANE_USER>(&watch));
    if (!handle) {
        result.detail = "the library refused the open";
        return result;
    }
    AudioOutSetSpeed(handle, speed);
    AudioOutPlay(handle, 0);
    const unsigned limitMs = expectedMs * 100 / unsigned(speed) * 3 + 5000;
    for (unsigned waited = 0; watch.outcome < 0 && waited < limitMs; waited += 20) SleepMs(20);
    AudioOutClose(handle);
    if (watch.outcome != 0) {
        result.detail = watch.outcome < 0 ? "no end event" : "a command failed";
        return result;
    }
    const double wanted = expectedMs / 1000.0 * 100 / speed;
    char line[160];
    std::snprintf(line, sizeof line, "%u blocks, played in %.2f s (medium %.2f s / %d %%)", watch.blocks,
                  watch.playedSeconds, wanted, int(speed));
    result.detail = line;
    // The wall time follows the speed: within a generous margin of duration / speed.
    result.ok = watch.blocks > 0 && watch.playedSeconds > wanted * 0.7 && watch.playedSeconds < wanted * 1.6 + 0.5;
    return result;
}
