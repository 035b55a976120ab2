#include "CliFailure.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const CliExitCode kCodes[] = {
    {kExitOk, "success"},
    {kExitFailed, "the operation failed for another reason (the message says which)"},
    {kExitUsage, "wrong command line"},
    {kExitNoFile, "an input file is missing or cannot be read"},
    {kExitNotMedium, "the input is not a medium, WAV file or profile the library takes"},
    {kExitNoDevice, "no audio device could be opened"},
    {kExitBadFormat, "the audio's format does not suit the operation (speed change, capture)"},
    {kExitCannotWrite, "an output file cannot be written"},
};

}  // namespace

const CliExitCode *CliExitCodes(size_t *count) {
    *count = sizeof kCodes / sizeof kCodes[0];
    return kCodes;
}

int Fail(const char *command, int code, const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fprintf(stderr, "brivane %s: %s\n", command, text);
    return code;
}

const char *UnreadableReason(const char *path) {
    std::FILE *file = std::fopen(path, "rb");
    if (!file) return std::strerror(errno);
    std::fclose(file);
    return nullptr;
}

int FailInput(const char *command, const char *path, const char *what) {
    if (const char *reason = UnreadableReason(path)) return Fail(command, kExitNoFile, "%s: %s", path, reason);
    return Fail(command, kExitNotMedium, "%s: %s", path, what);
}
