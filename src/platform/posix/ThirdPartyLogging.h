// FFmpeg's and SDL's own log lines follow the library's diagnostics setting.
#pragma once

namespace posix {

// Sets FFmpeg's and SDL's logging to match, once, before the first use of either; a host that has
// chosen a level itself keeps it.
void SetUpThirdPartyLogging();

}  // namespace posix
