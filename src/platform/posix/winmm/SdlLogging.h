// SDL's own log lines follow the library's diagnostics setting.
#pragma once

namespace posix {

// Sets SDL's logging to match, once, before SDL's first use; a user who has set SDL_LOGGING keeps it.
void SetUpSdlLogging();

}  // namespace posix
