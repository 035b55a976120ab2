// One stream of a profile as plain values: what a profile keeps, hands out as stream configuration
// objects and takes back from any IWMStreamConfig.
#pragma once

#include <string>

#include "StreamConfig.h"

namespace posix {

// Copies the media type of any properties object, through the SDK's two-call protocol.
HRESULT ReadMediaType(IWMMediaProps *props, CMediaType &type);

struct StreamSettings {
    WORD number = 0;
    CMediaType type;
    DWORD bitrate = 0;
    DWORD bufferWindowMs = 0;
    std::u16string name;
    std::u16string connection;

    // Reads every setting through the interface, so configurations of any origin are taken.
    static HRESULT Read(IWMStreamConfig *config, StreamSettings &settings);
    // A new configuration object holding these settings, with one reference; null when memory is short.
    CStreamConfig *MakeConfig() const;
};

}  // namespace posix
