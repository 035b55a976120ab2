// printf-style lines to the platform's debug output.
#pragma once

#include "platform/platform.h"

void DebugPrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));
