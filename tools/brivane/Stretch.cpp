// brivane stretch: raw 16-bit PCM from standard input, through the speed adaptor as a player feeds
// it, to standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Commands.h"
#include "HostOs.h"
#include "stretch/SpeedAdaptor.h"

namespace {

const size_t kRunBytes = 10000;

struct StretchOptions {
    long speed = 0;
    long rate = 0;
    long channels = 0;
};

bool ParseNumber(const char *text, long low, long high, long *value) {
    char *end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// Returns an error line, or null when every option was given once and is in range.
const char *ParseOptions(int argc, char **argv, StretchOptions *options) {
    for (int i = 0; i < argc; i += 2) {
        if (i + 1 >= argc) return "every option needs a value";
        const char *name = argv[i];
        const char *value = argv[i + 1];
        if (std::strcmp(name, "--speed") == 0) {
            if (!ParseNumber(value, 50, 200, &options->speed)) return "--speed must be a percentage from 50 to 200";
        } else if (std::strcmp(name, "--rate") == 0) {
            if (!ParseNumber(value, 8000, 96000, &options->rate)) return "--rate must be from 8000 to 96000 Hz";
        } else if (std::strcmp(name, "--channels") == 0) {
            if (!ParseNumber(value, 1, 2, &options->channels)) return "--channels must be 1 or 2";
        } else {
            return "unknown option (expected --speed, --rate and --channels)";
        }
    }
    if (!options->speed || !options->rate || !options->channels) return "--speed, --rate and --channels are required";
    return nullptr;
}

LONG WriteOutput(const BYTE *data, LONG bytes, void *context) {
    std::FILE *out = static_cast<std::FILE *>(context);
    return std::fwrite(data, 1, static_cast<size_t>(bytes), out) == static_cast<size_t>(bytes) ? 0 : -1;
}

int RunStretch(int argc, char **argv) {
    StretchOptions options;
    if (const char *error = ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "brivane stretch: %s\n", error);
        return 2;
    }
    SetBinaryMode(stdin);
    SetBinaryMode(stdout);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(options.channels);
    format.nSamplesPerSec = static_cast<DWORD>(options.rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(options.channels * 2);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;

    CSpeedAdaptor adaptor;
    adaptor.SetOutput(&WriteOutput, stdout);
    if (!adaptor.CreateEngine(format)) {
        std::fprintf(stderr, "brivane stretch: the time-stretch engine could not be opened\n");
        return 1;
    }
    // The factor the player passes: the percentage times 0.01, rounded to single precision.
    adaptor.SetSpeed(static_cast<float>(options.speed * static_cast<double>(0.01f)));

    std::vector<BYTE> run(kRunBytes);
    for (;;) {
        const size_t got = std::fread(run.data(), 1, run.size(), stdin);
        if (got > 0) adaptor.Process(run.data(), static_cast<LONG>(got));
        if (got < run.size()) break;
    }
    adaptor.Flush();
    if (std::ferror(stdin) || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "brivane stretch: reading or writing failed\n");
        return 1;
    }
    return 0;
}

const CliCommandRegistration kStretch(
    {"stretch",
     "--speed P --rate R --channels C < in.s16le > out.s16le\n"
     "            change the speed of raw 16-bit PCM to P percent without changing its pitch",
     &RunStretch, 2});
}  // namespace
