// The library's diagnostics (debug lines, message boxes, progress lines, FFmpeg's and SDL's own logs)
// stay silent unless the user sets BRIVANE_DEBUG, as a Linux library should.
#pragma once

namespace posix {

// True when BRIVANE_DEBUG is set to anything but "" or "0"; read at each call, so a host may change it.
bool DiagnosticsWanted();

}  // namespace posix
