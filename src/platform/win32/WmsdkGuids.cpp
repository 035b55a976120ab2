// The interface IDs the SDK headers declare for the media runtime, defined here once: mingw-w64
// ships no import library that carries them.
#include <initguid.h>

#include "platform/platform.h"
