// FFmpeg's own log lines follow the library's diagnostics setting.
#pragma once

namespace posix {

// Sets FFmpeg's log level to match, once, before FFmpeg's first use; a host that has chosen a level
// itself keeps it.
void SetUpFfmpegLogging();

}  // namespace posix
