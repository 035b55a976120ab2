// The players and capture instances the service binds to newly opened entries.
#include <new>

#include "api/Library.h"
#include "playback/SourcePlayer.h"

namespace {
IPlayerCommands *NewPlayer() { return new (std::nothrow) CSourcePlayer; }
// Capture instances are not part of this build: every capture open fails on the service thread.
ICaptureCommands *NewRecorder() { return nullptr; }
}  // namespace

const InstanceFactory &library::DefaultFactory() {
    static const InstanceFactory factory = {&NewPlayer, &NewRecorder};
    return factory;
}
