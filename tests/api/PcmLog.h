// A host's PCM callback for GetAudioPCM: the codes in order, the PCM joined, and the format.
#pragma once

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "HostHarness.h"

constexpr double kPi = 3.14159265358979323846;

class PcmLog {
public:
    static void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
        PcmLog *log = reinterpret_cast<PcmLog *>(user);
        if (log->codes.empty() || log->codes.back() != code || code != BRIVANE_PCM_DATA) log->codes.push_back(code);
        if (code == BRIVANE_PCM_DATA) log->pcm.append(static_cast<const char *>(data), length);
        if (code != BRIVANE_PCM_DATA) log->controlThreads.push_back(CurrentHostThread());
        if (code == BRIVANE_PCM_FORMAT && length == sizeof(BrivaneWaveFormat)) std::memcpy(&log->format, data, length);
        if (code == BRIVANE_PCM_DATA && log->onData) log->onData(*log);
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    // The first channel's amplitude at hz (Goertzel), relative to full scale, clear of both ends.
    double Amplitude(double hz) const {
        const int16_t *samples = reinterpret_cast<const int16_t *>(pcm.data());
        const size_t channels = format.nChannels, margin = format.nSamplesPerSec / 4;
        const size_t frames = channels ? pcm.size() / 2 / channels : 0;
        if (frames <= 2 * margin) return 0;
        const double w = 2 * kPi * hz / format.nSamplesPerSec;
        double s1 = 0, s2 = 0;
        for (size_t i = margin; i < frames - margin; ++i) {
            const double s0 = samples[i * channels] / 32768.0 + 2 * std::cos(w) * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return 2 * std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2) / double(frames - 2 * margin);
    }
    double Seconds() const { return format.nAvgBytesPerSec ? double(pcm.size()) / format.nAvgBytesPerSec : 0; }

    std::vector<uint32_t> codes;  // a run of PCM deliveries counts once
    std::string pcm;
    BrivaneWaveFormat format = {};
    std::vector<HostThreadId> controlThreads;    // where codes other than PCM came
    std::function<void(const PcmLog &)> onData;  // what the host does mid-decode, after each PCM delivery
};
