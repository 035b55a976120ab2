// SDL's audio, the ground under the wave devices: started once on first use, and entered only
// under one lock, since SDL's device list and table of open devices are not safe to change from
// two threads at once.
#pragma once

#include <mutex>

#include "winmm.h"

namespace posix {

class CAudioSubsystem {
public:
    static std::mutex &Lock();
    // With Lock() held: starts SDL's audio on the first call; false when no driver could start.
    static bool Started();
    // Devices SDL offers for output or capture; 0 when no audio driver could start.
    static UINT DeviceCount(bool capture);
    // Maps a wave device id to SDL's device index, -1 standing for SDL's default device: the wave
    // mapper is the default device, or device 0 when that is the only one.
    static MMRESULT Resolve(UINT deviceId, bool capture, int &index);
    // SDL's name of a device, cut to fit a capabilities record.
    static void DeviceName(int index, bool capture, CHAR (&name)[MAXPNAMELEN]);
    // With Lock() held: SDL's name to open device `index` by, null for the default device.
    static const char *OpenName(int index, bool capture);
};

}  // namespace posix
