// printf-style lines to the platform's debug output, and progress lines for console hosts.
#pragma once

#include "platform/platform.h"

void DebugPrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));
void ConsolePrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));
