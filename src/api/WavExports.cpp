// AudioWavGetData / AudioWavFreeData: a WAV file as 16-bit mono samples, owned by the host.
#include <cstdlib>
#include <memory>
#include <new>

#include "brivane.h"
#include "files/WavLoader.h"
#include "platform/platform.h"

static_assert(sizeof(BrivaneWaveFormat) == sizeof(WAVEFORMATEX), "both are the 18-byte wave format record");

namespace {

// The path in the system code page, or null when there is none or it cannot be converted. The
// buffer is sized by the conversion itself: UTF-8 takes up to three bytes per UTF-16 unit.
std::unique_ptr<char[]> SystemCodePagePath(const BRIVANE_WCHAR *path) {
    if (!path) return nullptr;
    const int needed = WideCharToMultiByte(CP_ACP, 0, path, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return nullptr;
    std::unique_ptr<char[]> name(new (std::nothrow) char[needed]);
    if (name && WideCharToMultiByte(CP_ACP, 0, path, -1, name.get(), needed, nullptr, nullptr) != needed) name.reset();
    return name;
}

}  // namespace

extern "C" {

int16_t *BRIVANE_CALL AudioWavGetData(const BRIVANE_WCHAR *path, uint32_t *sampleCount, BrivaneWaveFormat *format,
                                      uint32_t) {
    const std::unique_ptr<char[]> name = SystemCodePagePath(path);
    SHORT *block = nullptr;
    DWORD rate = 0;
    CWavLoader loader(name.get());
    const DWORD count = loader.Load(&block, &rate, reinterpret_cast<WAVEFORMATEX *>(format));
    if (sampleCount) *sampleCount = count;
    return block;
}

uint32_t BRIVANE_CALL AudioWavFreeData(void *data) {
    std::free(data);
    return 1;
}

}  // extern "C"
