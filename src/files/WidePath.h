// File paths the host gives in the system code page, widened for the media runtime.
#pragma once

#include <vector>

#include "platform/platform.h"

// path in UTF-16, zero-terminated, in wide; a null path gives an empty wide. False when the path
// does not convert (or memory is short).
bool WidenPath(LPCSTR path, std::vector<WCHAR> &wide);
