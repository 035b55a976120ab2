#include "core/DebugOutput.h"

#include <cstdarg>
#include <cstdio>

void DebugPrintf(const char *format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    OutputDebugStringA(line);
}

void ConsolePrintf(const char *format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    PlatformPrintConsole(line);
}
