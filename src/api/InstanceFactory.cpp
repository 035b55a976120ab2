// The players and capture instances the service binds to newly opened entries.
#include "api/Library.h"

namespace {
// Playback and capture instances are not part of this build: every open fails on the service thread.
IPlayerCommands *NewPlayer() { return nullptr; }
ICaptureCommands *NewRecorder() { return nullptr; }
}  // namespace

const InstanceFactory &library::DefaultFactory() {
    static const InstanceFactory factory = {&NewPlayer, &NewRecorder};
    return factory;
}
