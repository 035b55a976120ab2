// The RIFF WAVE header of a direct WAV mode source: "fmt " first, any "fact" chunks, then "data".
#pragma once

#include "platform/platform.h"

// Reads the header from the source's current position: the 18-byte format record (zeroed by the
// caller), the PCM byte count and the offset of the first PCM byte. E_INVALIDARG without a source,
// E_FAIL for anything that is not a RIFF WAVE of that shape or cannot be read whole.
HRESULT ParseRiffWave(IStream *source, WAVEFORMATEX *format, DWORD *dataSize, DWORD *dataOffset);
