// POSIX: the Windows API subset the library uses, declared with the SDK's names, sizes and values,
// and implemented by the folders beside this one, one per Windows API.
#pragma once

#include "windows_types.h"
#include "kernel32.h"
#include "user32.h"
#include "ole32.h"
#include "winmm.h"
#include "objidl.h"
#include "wmsdk.h"
