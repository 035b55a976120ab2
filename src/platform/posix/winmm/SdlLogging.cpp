#include "SdlLogging.h"

#include <mutex>

#include <SDL.h>

#include "Diagnostics.h"

namespace posix {
namespace {

SDL_LogOutputFunction g_sdlOutput = nullptr;

// SDL's audio drivers log on their own (the disk driver announces itself as critical); those lines
// pass only when asked for, and every other category goes to whatever output SDL had.
void FilterSdlLog(void *userdata, int category, SDL_LogPriority priority, const char *message) {
    if (category != SDL_LOG_CATEGORY_AUDIO || DiagnosticsWanted()) g_sdlOutput(userdata, category, priority, message);
}

}  // namespace

void SetUpSdlLogging() {
    static std::once_flag once;
    std::call_once(once, [] {
        // SDL_LOGGING, SDL's own setting, still decides when the user has set it.
        if (SDL_getenv("SDL_LOGGING")) return;
        if (DiagnosticsWanted()) SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_LOG_PRIORITY_DEBUG);
        void *userdata = nullptr;
        SDL_LogGetOutputFunction(&g_sdlOutput, &userdata);
        if (g_sdlOutput) SDL_LogSetOutputFunction(FilterSdlLog, userdata);
    });
}

}  // namespace posix
