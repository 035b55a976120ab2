#include "FfmpegLogging.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include "Diagnostics.h"

namespace posix {

void SetUpFfmpegLogging() {
    static std::once_flag once;
    std::call_once(once, [] {
        // FFmpeg's default is info, which reports every damaged medium on the host's standard error.
        if (!DiagnosticsWanted() && av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_FATAL);
    });
}

}  // namespace posix
