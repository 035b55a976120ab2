// What an open medium tells about itself: its streams (the profile), the reader's outputs and the
// header attributes. Made once at open and shared read-only.
#pragma once

#include <vector>

#include "MediaType.h"

namespace posix {

struct MediaStreamInfo {
    WORD number;      // 1-based, in the order of the medium
    CMediaType type;  // as stored: the codec's format record
    DWORD bitrate;
};

struct MediaOutputInfo {
    CMediaType type;       // what the reader delivers: 16-bit PCM for audio
    DWORD maxSampleBytes;  // the largest buffer OnSample will carry
};

struct MediaInfo {
    std::vector<MediaStreamInfo> streams;
    std::vector<MediaOutputInfo> outputs;  // audio outputs first
    bool hasDuration = false;
    QWORD duration = 0;  // 100 ns
    BOOL seekable = FALSE;
};

}  // namespace posix
