#include "core/DebugOutput.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Formats one line into a bounded buffer and hands it to the given output.
void FormatTo(void (*output)(const char *), const char *format, va_list args) {
    char line[512];
    vsnprintf(line, sizeof line, format, args);
    output(line);
}

void DebugOutput(const char *line) { OutputDebugStringA(line); }

}  // namespace

void DebugPrintf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    FormatTo(&DebugOutput, format, args);
    va_end(args);
}

void ConsolePrintf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    FormatTo(&PlatformPrintConsole, format, args);
    va_end(args);
}
