// Small edits of a Windows Media (ASF) header that the muxer does not make itself.
#pragma once

#include <vector>

#include "windows_types.h"

namespace posix {

// Marks the header's file properties as a broadcast: sizes, packet count and duration unknown, no
// seeking. False when the header holds no file properties object.
bool MarkAsfHeaderAsBroadcast(std::vector<BYTE> &header);

}  // namespace posix
