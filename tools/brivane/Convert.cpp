// brivane convert: a speech WAV file to Windows Media Audio with a profile, or any medium to a PCM
// WAV file, through the Convert export; a progress line on a terminal while a long one runs.
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CliFailure.h"
#include "CliSupport.h"
#include "Commands.h"
#include "HostOs.h"
#include "brivane.h"

namespace {

// How long a conversion runs before the progress line appears, and how often it is redrawn.
const unsigned kProgressDelayMs = 1000;
const unsigned kProgressPeriodMs = 250;

struct ConvertOptions {
    const char *input = nullptr;
    const char *output = nullptr;
    const char *profile = nullptr;
    uint32_t target = 0;
};

bool EndsWith(const char *text, const char *suffix) {
    const size_t length = std::strlen(text);
    const size_t suffixLength = std::strlen(suffix);
    if (length < suffixLength) return false;
    for (size_t i = 0; i < suffixLength; ++i) {
        char c = text[length - suffixLength + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// Returns an error line, or null when the input, the output and a direction are known.
const char *ParseOptions(int argc, char **argv, ConvertOptions *options) {
    for (int i = 0; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--profile") == 0) {
            if (++i >= argc) return "--profile needs a file";
            options->profile = argv[i];
        } else if (std::strcmp(argument, "--to-wma") == 0) {
            options->target = BRIVANE_KIND_WMA;
        } else if (std::strcmp(argument, "--to-wav") == 0) {
            options->target = BRIVANE_KIND_WAV;
        } else if (argument[0] == '-' && argument[1] == '-') {
            return "unknown option (expected --profile, --to-wma or --to-wav)";
        } else if (!options->input) {
            options->input = argument;
        } else if (!options->output) {
            options->output = argument;
        } else {
            return "too many files: give one input and one output";
        }
    }
    if (!options->input || !options->output) return "an input and an output file are required";
    if (!options->target) {
        if (EndsWith(options->output, ".wav"))
            options->target = BRIVANE_KIND_WAV;
        else if (EndsWith(options->input, ".wav") &&
                 (EndsWith(options->output, ".wma") || EndsWith(options->output, ".asf")))
            options->target = BRIVANE_KIND_WMA;
        else
            return "cannot tell the direction from the file names: give --to-wma or --to-wav";
    }
    if (options->profile && options->target != BRIVANE_KIND_WMA)
        return "--profile applies only to WAV-to-WMA conversion";
    return nullptr;
}

// Redraws "elapsed, bytes written" on standard error until the conversion ends.
struct ProgressLine {
    const char *output = nullptr;
    std::atomic<bool> done{false};
    bool shown = false;

    void Run() {
        const auto start = std::chrono::steady_clock::now();
        while (!done) {
            SleepMs(kProgressPeriodMs);
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            if (done || elapsed.count() < kProgressDelayMs) continue;
            struct stat info;
            const long long written = stat(output, &info) == 0 ? static_cast<long long>(info.st_size) : 0;
            std::fprintf(stderr, "\rconverting: %.1f s, %lld KiB written ", elapsed.count() / 1000.0, written / 1024);
            std::fflush(stderr);
            shown = true;
        }
    }
};

// Runs the conversion, with the progress line when standard error is a terminal.
uint32_t RunConvert(const ConvertOptions &options, const WideText &profile) {
    const uint32_t source = options.target == BRIVANE_KIND_WMA ? BRIVANE_KIND_WAV : BRIVANE_KIND_WMA;
    const BRIVANE_WCHAR *profileText = options.target == BRIVANE_KIND_WMA ? profile.c_str() : nullptr;
    if (!IsTerminal(stderr)) return Convert(options.target, options.output, source, options.input, profileText);
    ProgressLine line;
    line.output = options.output;
    HostThread progress;
    progress.Start([](void *context) { static_cast<ProgressLine *>(context)->Run(); }, &line);
    const uint32_t result = Convert(options.target, options.output, source, options.input, profileText);
    line.done = true;
    progress.Join();
    if (line.shown) std::fprintf(stderr, "\n");
    return result;
}

int RunConvertCommand(int argc, char **argv) {
    ConvertOptions options;
    if (const char *error = ParseOptions(argc, argv, &options)) return Fail("convert", kExitUsage, "%s", error);
    WideText profile;
    if (options.target == BRIVANE_KIND_WMA && !LoadProfile(options.profile, &profile))
        return FailInput("convert", options.profile, "not a profile text (UTF-16 with a byte-order mark, or UTF-8)");
    if (const char *reason = UnreadableReason(options.input))
        return Fail("convert", kExitNoFile, "%s: %s", options.input, reason);
    // The library keeps the encoder until the last UnInitBrivane.
    if (!InitBrivane()) return Fail("convert", kExitFailed, "the library did not start");
    const uint32_t result = RunConvert(options, profile);
    UnInitBrivane();
    if (result) return kExitOk;
    if (std::FILE *output = std::fopen(options.output, "ab")) {
        std::fclose(output);
    } else {
        return Fail("convert", kExitCannotWrite, "%s: %s", options.output, std::strerror(errno));
    }
    if (options.target == BRIVANE_KIND_WAV)
        return Fail("convert", kExitNotMedium, "%s: not a medium the reader opens, or it holds no audio",
                    options.input);
    return Fail("convert", kExitNotMedium,
                "%s: not a recording the encoder takes (mono PCM 8/16-bit, A-law or mu-law, "
                "8000-48000 Hz, in a format the output device accepts), or the profile does not suit it",
                options.input);
}

const CliCommandRegistration kConvert(
    {"convert",
     "IN OUT [--profile FILE.prx] [--to-wma | --to-wav]\n"
     "            convert a mono speech WAV file to WMA (the bundled speech profile unless\n"
     "            --profile), or any medium to a PCM WAV file; the direction follows the names",
     &RunConvertCommand, 21});
}  // namespace
