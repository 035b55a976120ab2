// Result codes of the Windows Media container layer (attributes, buffers), with the SDK's values.
#pragma once

#include "windows_types.h"

#define ASF_E_BUFFERTOOSMALL ((HRESULT)0xC00D07D1)
#define ASF_E_NOTFOUND ((HRESULT)0xC00D07F0)
