// Component object library: initialisation is counted per thread and needs no other work here.
#pragma once

#include "windows_types.h"

HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize(void);
