// Windows multimedia: the millisecond clock.
#pragma once

#include "windows_types.h"

// Milliseconds on a steady clock, wrapping at 2^32.
DWORD timeGetTime(void);
