// The players and capture instances the service binds to newly opened entries.
#include <new>

#include "api/Library.h"
#include "capture/CaptureInstance.h"
#include "playback/SourcePlayer.h"

namespace {
IPlayerCommands *NewPlayer() { return new (std::nothrow) CSourcePlayer; }
ICaptureCommands *NewRecorder() { return new (std::nothrow) CCaptureInstance; }
}  // namespace

const InstanceFactory &library::DefaultFactory() {
    static const InstanceFactory factory = {&NewPlayer, &NewRecorder};
    return factory;
}
