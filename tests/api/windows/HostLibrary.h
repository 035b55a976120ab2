// The host's view of Brivane.dll: loaded at run time and reached only through its 22 exports.
#pragma once

#include <windows.h>

#include "HostExports.h"

// Fills the table from a loaded Brivane.dll; a missing export fails the test.
void ResolveExports(HMODULE module, BrivaneExports &exports);
// Lines the library sent to the debugger since the suite started that begin with the prefix.
size_t CountDebugLines(const char *prefix);
