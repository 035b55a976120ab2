// Debug output and message boxes: one line to standard error when the user asks for the library's
// diagnostics (BRIVANE_DEBUG), written with a single write call so that lines from different threads
// never interleave; otherwise nothing, as on Windows without a debugger.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "Diagnostics.h"
#include "kernel32.h"
#include "platform/platform.h"
#include "user32.h"

namespace {

void WriteLine(std::string line) {
    if (line.empty() || line.back() != '\n') line += '\n';
    const char *data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        left -= size_t(written);
    }
}

}  // namespace

void OutputDebugStringA(LPCSTR text) {
    if (text && posix::DiagnosticsWanted()) WriteLine(text);
}

// Through stdio, as the decoder's lines always were, so they keep their place among the host's own.
void PlatformPrintConsole(const char *text) {
    if (text && posix::DiagnosticsWanted()) std::fputs(text, stdout);
}

// Nobody can press a button here, so the box reports the default one at once; a box without a
// caption is titled "Error", as on Windows.
int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    if (posix::DiagnosticsWanted()) WriteLine(std::string(caption ? caption : "Error") + ": " + (text ? text : ""));
    return IDOK;
}
