// Progress lines of the file functions go to the console host's standard output, as they always have.
#include <cstdio>

#include "platform/platform.h"

void PlatformPrintConsole(const char *text) {
    if (text) std::fputs(text, stdout);
}
