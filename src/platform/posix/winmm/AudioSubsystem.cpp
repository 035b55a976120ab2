// SDL is asked for its audio subsystem only, without the signal handlers its event loop would
// install by default; the driver and devices are whatever SDL's own settings choose.
#include "AudioSubsystem.h"
#include "SdlLogging.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace posix {
namespace {

// SDL answers -1 when a driver cannot list its devices; its default device is still there.
UINT CountLocked(bool capture) {
    if (!CAudioSubsystem::Started()) return 0;
    const int count = SDL_GetNumAudioDevices(capture ? 1 : 0);
    return count < 0 ? 1 : UINT(count);
}

}  // namespace

std::mutex &CAudioSubsystem::Lock() {
    static std::mutex *lock = new std::mutex;
    return *lock;
}

bool CAudioSubsystem::Started() {
    static const bool started = [] {
        SetUpSdlLogging();
        SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_DEFAULT);
        return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }();
    return started;
}

UINT CAudioSubsystem::DeviceCount(bool capture) {
    std::lock_guard<std::mutex> hold(Lock());
    return CountLocked(capture);
}

MMRESULT CAudioSubsystem::Resolve(UINT deviceId, bool capture, int &index) {
    const UINT count = DeviceCount(capture);
    if (deviceId == WAVE_MAPPER) {
        index = count == 1 ? 0 : -1;
        return count > 0 ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
    }
    if (deviceId >= count) return MMSYSERR_BADDEVICEID;
    index = int(deviceId);
    return MMSYSERR_NOERROR;
}

void CAudioSubsystem::DeviceName(int index, bool capture, CHAR (&name)[MAXPNAMELEN]) {
    std::lock_guard<std::mutex> hold(Lock());
    const char *sdlName = index >= 0 && Started() ? SDL_GetAudioDeviceName(index, capture ? 1 : 0) : nullptr;
    const char *text = sdlName ? sdlName : "Sound Mapper";
    const size_t full = std::strlen(text);
    size_t length = std::min(full, sizeof(name) - 1);
    // Never cut a UTF-8 sequence in half.
    while (length > 0 && length < full && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(name, text, length);
    name[length] = '\0';
}

const char *CAudioSubsystem::OpenName(int index, bool capture) {
    if (index < 0 || SDL_GetNumAudioDevices(capture ? 1 : 0) <= 0) return nullptr;
    return SDL_GetAudioDeviceName(index, capture ? 1 : 0);
}

}  // namespace posix
