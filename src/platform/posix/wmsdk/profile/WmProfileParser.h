// Reads the text of a Windows Media profile (the .prx XML: profile, streamconfig, wmmediatype,
// waveformatex) into plain stream settings.
#pragma once

#include <vector>

#include "StreamSettings.h"

namespace posix {

struct ProfileSettings {
    WMT_VERSION version = WMT_VER_9_0;
    std::u16string name;
    std::u16string description;
    std::vector<StreamSettings> streams;
};

// S_OK with the settings; E_INVALIDARG for text longer than any real profile; NS_E_INVALIDPROFILE
// for text that is not a well-formed profile with at least one audio stream.
HRESULT ParseProfile(const WCHAR *text, ProfileSettings &profile);

}  // namespace posix
