// The host's view of Brivane.dll: loaded at run time and reached only through its 22 exports.
#pragma once

#include <windows.h>

#include "HostExports.h"

// Lines the library sent to the debugger since the suite started that begin with the prefix.
size_t CountDebugLines(const char *prefix);
