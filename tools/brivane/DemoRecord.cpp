// The demo's capture step: two seconds from the default input, with the encoded stream the library
// delivers at the same time kept as a Windows Media file.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "CliSupport.h"
#include "DemoSteps.h"
#include "HostOs.h"

namespace {

struct RecordWatch {
    bool terminal = false;
    std::atomic<bool> ended{false};
    HostMutex failuresLock;
    std::vector<uint32_t> failures;  // handles reported with event 6
    // Touched by the callbacks only, on the service thread.
    uint64_t rawBytes = 0;
    unsigned rawBuffers = 0;
    std::vector<unsigned char> header;
    std::vector<unsigned char> units;
    unsigned unitCount = 0;
    bool began = false;
    int peak = 0;
};

void ShowLevel(RecordWatch *watch, const void *payload, uint32_t size) {
    const int16_t *samples = static_cast<const int16_t *>(payload);
    int peak = 0;
    for (uint32_t i = 0; i < size / 2; ++i) peak = std::max(peak, std::abs(int(samples[i])));
    watch->peak = std::max(watch->peak, peak);
    if (!watch->terminal) return;
    const int bars = peak * 30 / 32768;
    std::printf("\r    level [");
    for (int i = 0; i < 30; ++i) std::putchar(i < bars ? '|' : ' ');
    std::printf("] %.2f s", watch->rawBytes / 32000.0);
    std::fflush(stdout);
}

void BRIVANE_CALL OnCapture(uint32_t, BRIVANE_USER user, uint32_t event, uint32_t arg1, uint32_t arg2,
                            const void *payload, uint32_t size) {
    RecordWatch *watch = reinterpret_cast<RecordWatch *>(user);
    const unsigned char *bytes = static_cast<const unsigned char *>(payload);
    if (event == BRIVANE_REC_EVENT_DATA && arg1 == 1) {
        watch->rawBytes += size;
        ++watch->rawBuffers;
        ShowLevel(watch, payload, size);
    } else if (event == BRIVANE_REC_EVENT_DATA && arg2 == 0) {
        // A header that comes again after the data units is the final one: it replaces the first.
        watch->header.assign(bytes, bytes + size);
    } else if (event == BRIVANE_REC_EVENT_DATA) {
        watch->units.insert(watch->units.end(), bytes, bytes + size);
        ++watch->unitCount;
    } else if (event == BRIVANE_REC_EVENT_BEGIN) {
        std::printf("    event: capture begins, %u bytes of format\n", unsigned(size));
    } else if (event == BRIVANE_REC_EVENT_STREAM_BEGIN) {
        watch->began = true;
        std::printf("    event: encoded stream begins\n");
    } else if (event == BRIVANE_REC_EVENT_END) {
        std::printf("%s    event: encoder finished\n", watch->terminal ? "\n" : "");
        watch->ended = true;
    }
    std::fflush(stdout);
}

void BRIVANE_CALL OnFailure(uint32_t handle, BRIVANE_USER user, uint32_t event, const void *, uint32_t) {
    RecordWatch *watch = reinterpret_cast<RecordWatch *>(user);
    HostLockScope hold(watch->failuresLock);
    if (event == BRIVANE_EVENT_COMMAND_FAILED) watch->failures.push_back(handle);
}

bool Failed(RecordWatch *watch, uint32_t handle) {
    HostLockScope hold(watch->failuresLock);
    return std::find(watch->failures.begin(), watch->failures.end(), handle) != watch->failures.end();
}

struct DecodedLength {
    uint64_t bytes = 0;
    uint32_t bytesPerSecond = 0;
};

void BRIVANE_CALL CountPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
    DecodedLength *decoded = reinterpret_cast<DecodedLength *>(user);
    if (code == BRIVANE_PCM_FORMAT && length >= sizeof(BrivaneWaveFormat))
        decoded->bytesPerSecond = static_cast<const BrivaneWaveFormat *>(data)->nAvgBytesPerSec;
    else if (code == BRIVANE_PCM_DATA)
        decoded->bytes += length;
}

}  // namespace

StepResult RecordWhileEncoding(const DemoFiles &files, uint32_t milliseconds) {
    RecordWatch watch;
    watch.terminal = IsTerminal(stdout);
    StepResult result;
    // Capture failures arrive through the playback callback, as event 6; an open of a file that does
    // not exist yet points that callback here.
    const std::basic_string<BRIVANE_WCHAR> missing = Wide(files.recording);
    const uint32_t sentinel =
        AudioOutFileOpen(BRIVANE_MODE_DECODE, missing.c_str(), &OnFailure, reinterpret_cast<BRIVANE_USER>(&watch));
    const BrivaneWaveFormat format = {1, 1, 16000, 32000, 2, 16, 0};
    const uint32_t handle = AudioInOpen(BRIVANE_KIND_AUDIO, &format, files.profile.c_str(), &OnCapture,
                                        reinterpret_cast<BRIVANE_USER>(&watch));
    if (!handle) {
        AudioOutClose(sentinel);
        result.detail = "the library refused the open";
        return result;
    }
    AudioInStart(handle, 0);
    SleepMs(milliseconds);
    AudioInStop(handle);
    for (unsigned waited = 0; !watch.ended && !Failed(&watch, handle) && waited < 5000; waited += 20) SleepMs(20);
    AudioInClose(handle);
    AudioOutClose(sentinel);

    std::FILE *file = std::fopen(files.recording.c_str(), "wb");
    if (file) {
        std::fwrite(watch.header.data(), 1, watch.header.size(), file);
        std::fwrite(watch.units.data(), 1, watch.units.size(), file);
        std::fclose(file);
    }
    // A live stream's header carries no duration, so the recording is measured by decoding it.
    DecodedLength decoded;
    GetAudioPCM(BRIVANE_KIND_AUDIO, files.recording.c_str(), 0, 0, &CountPcm, reinterpret_cast<BRIVANE_USER>(&decoded),
                nullptr);
    const uint32_t encodedMs = decoded.bytesPerSecond ? uint32_t(decoded.bytes * 1000 / decoded.bytesPerSecond) : 0;
    char line[200];
    std::snprintf(line, sizeof line, "%.2f s raw in %u buffers; %zu header + %u units (%zu bytes) decode to %.2f s",
                  watch.rawBytes / 32000.0, watch.rawBuffers, watch.header.size(), watch.unitCount, watch.units.size(),
                  encodedMs / 1000.0);
    result.detail = line;
    result.ok = !Failed(&watch, handle) && watch.ended && watch.began && watch.rawBuffers > 0 &&
                !watch.header.empty() && watch.unitCount > 0 && encodedMs * 5 > uint32_t(watch.rawBytes / 32) * 4;
    return result;
}
