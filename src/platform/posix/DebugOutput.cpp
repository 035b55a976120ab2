// Debug output and message boxes: one line to standard error, written with a single write call so
// that lines from different threads never interleave.
#include <cerrno>
#include <cstring>
#include <string>

#include <unistd.h>

#include "kernel32.h"
#include "user32.h"

namespace {

void WriteLine(std::string line)
{
    if (line.empty() || line.back() != '\n')
        line += '\n';
    const char *data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        left -= size_t(written);
    }
}

}  // namespace

void OutputDebugStringA(LPCSTR text)
{
    if (text)
        WriteLine(text);
}

// Nobody can press a button here, so the box reports the default one at once; a box without a
// caption is titled "Error", as on Windows.
int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    WriteLine(std::string(caption ? caption : "Error") + ": " + (text ? text : ""));
    return IDOK;
}
