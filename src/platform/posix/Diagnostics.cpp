#include "Diagnostics.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include <SDL.h>

extern "C" {
#include <libavutil/log.h>
}

namespace posix {

bool DiagnosticsWanted()
{
    const char *value = std::getenv("BRIVANE_DEBUG");
    return value && *value && std::strcmp(value, "0") != 0;
}

void SetUpThirdPartyLogging()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const bool wanted = DiagnosticsWanted();
        // FFmpeg's default is info, which reports every damaged medium on the host's standard error.
        if (!wanted && av_log_get_level() == AV_LOG_INFO)
            av_log_set_level(AV_LOG_FATAL);
        // SDL's audio messages are off by default; SDL_LOGGING, SDL's own setting, still decides when set.
        if (wanted && !SDL_getenv("SDL_LOGGING"))
            SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_LOG_PRIORITY_DEBUG);
    });
}

}  // namespace posix
