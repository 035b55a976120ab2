// How a player makes its media source from the instance's open record.
#pragma once

#include <atomic>

#include "core/InstanceInterfaces.h"
#include "platform/platform.h"

// A memory image that refuses access once closing turns non-zero, or a file by its UTF-16 path;
// the source comes with the caller's reference. Null for another kind or a source that fails.
IStream *CreateMediaSource(const AudioOutOpenParams *params, const std::atomic<BYTE> *closing);
