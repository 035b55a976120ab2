// The process-wide objects of the file exports, finished by the library's shutdown in this order.
#pragma once

#include "platform/platform.h"

namespace library {

// The WAV-to-WMA encoder of Convert.
void DisposeEncoder();
// The decoder kept by GetAudioPCM between calls.
void DisposeDecoder();
// The duration probe of GetWmaFileDuration; runs after the library lock is gone.
void DisposeDurationProbe();

// Convert's media-to-WAV direction: decodes sourcePath and writes a PCM WAV file at targetPath.
HRESULT ConvertMediaToWav(LPCWSTR targetPath, LPCWSTR sourcePath);

}  // namespace library
