// How a player makes its media source from the instance's open record.
#pragma once

#include <atomic>

#include "core/InstanceInterfaces.h"
#include "platform/platform.h"

// A memory image read under its instance's guard (refused once closing), or a file by its UTF-16 path;
// the source comes with the caller's reference. Null for another kind or a source that fails.
IStream *CreateMediaSource(const AudioOutOpenParams *params, ImageGuard *image);
