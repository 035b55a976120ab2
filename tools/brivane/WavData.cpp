// brivane wavdata: a WAV file as AudioWavGetData loads it: the file's format record, the number of
// 16-bit mono samples, and their peak and RMS level.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "CliFailure.h"
#include "Commands.h"
#include "HostOs.h"
#include "brivane.h"

namespace {

const double kFullScale = 32768.0;

void PrintFormat(const BrivaneWaveFormat &format) {
    std::printf("format: tag %u, %u channel(s), %u Hz, %u bytes/s, block align %u, %u bits, %u extra bytes\n",
                unsigned(format.wFormatTag), unsigned(format.nChannels), unsigned(format.nSamplesPerSec),
                unsigned(format.nAvgBytesPerSec), unsigned(format.nBlockAlign), unsigned(format.wBitsPerSample),
                unsigned(format.cbSize));
}

double Decibels(double level) { return level > 0 ? 20.0 * std::log10(level / kFullScale) : -INFINITY; }

int RunWavData(int argc, char **argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: brivane wavdata FILE\n");
        return kExitUsage;
    }
    uint32_t count = 0;
    // A record left all zero was never filled: the file had no readable format chunk.
    BrivaneWaveFormat format{};
    int16_t *samples = AudioWavGetData(WidePath(argv[0]).c_str(), &count, &format, 0);
    if (format.wFormatTag || format.nChannels || format.nSamplesPerSec || format.wBitsPerSample) PrintFormat(format);
    if (!samples)
        return FailInput("wavdata", argv[0],
                         "not a WAV file the loader takes (PCM 8/16-bit, A-law, mu-law; mono or "
                         "stereo; 8000-48000 Hz)");
    int peak = 0;
    double sumOfSquares = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int magnitude = std::abs(int(samples[i]));
        if (magnitude > peak) peak = magnitude;
        sumOfSquares += double(samples[i]) * samples[i];
    }
    AudioWavFreeData(samples);
    const double rms = std::sqrt(sumOfSquares / count);
    std::printf("samples: %u (16-bit mono, %.3f s)\n", unsigned(count), double(count) / format.nSamplesPerSec);
    std::printf("peak: %d (%.1f dBFS)\n", peak, Decibels(peak));
    std::printf("rms: %.1f (%.1f dBFS)\n", rms, Decibels(rms));
    return 0;
}

const CliCommandRegistration kWavData({"wavdata",
                                       "FILE\n            load a WAV file as 16-bit mono samples and print its format, "
                                       "sample count, peak and RMS",
                                       &RunWavData, 22});
}  // namespace
