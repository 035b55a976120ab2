// What the SDK's wmsdk.h declares for the library and mingw-w64's copy lacks: the file sink
// interfaces and factory, the format and subtype GUIDs, the container result codes, the start
// constant and the attribute names. Values and method order are the SDK's.
#pragma once

#include <wmsdk.h>

#ifndef ASF_E_BUFFERTOOSMALL
#define ASF_E_BUFFERTOOSMALL ((HRESULT)0xC00D07D1L)
#endif
#ifndef ASF_E_NOTFOUND
#define ASF_E_NOTFOUND ((HRESULT)0xC00D07F0L)
#endif

#ifndef WM_START_CURRENTPOSITION
#define WM_START_CURRENTPOSITION ((QWORD)-1)
#endif

static const WCHAR g_wszWMDuration[] = L"Duration";
static const WCHAR g_wszWMSeekable[] = L"Seekable";
static const WCHAR g_wszWMBroadcast[] = L"Broadcast";

#include "platform/wmfilesink.h"

extern "C" HRESULT WINAPI WMCreateWriterFileSink(IWMWriterFileSink **ppSink);

EXTERN_GUID(IID_IWMWriterFileSink, 0x96406be5, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
EXTERN_GUID(IID_IWMWriterFileSink2, 0x14282ba7, 0x4aef, 0x4205, 0x8c, 0xe5, 0xc2, 0x29, 0x03, 0x5a, 0x05, 0xbc);
EXTERN_GUID(WMMEDIASUBTYPE_MP3, 0x00000055, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
EXTERN_GUID(WMMEDIASUBTYPE_WMAudioV8, 0x00000161, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
EXTERN_GUID(WMFORMAT_VideoInfo, 0x05589f80, 0xc356, 0x11ce, 0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a);
EXTERN_GUID(WMFORMAT_WaveFormatEx, 0x05589f81, 0xc356, 0x11ce, 0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a);
