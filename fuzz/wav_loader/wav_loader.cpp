// Any byte sequence, as a file, loaded the way AudioWavGetData loads it: a block comes back only
// with a sample count that the file's data could hold, and the format record only when the file
// had a format chunk to give it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/WavLoader.h"
#include "platform/platform.h"

namespace {

// The RIFF header, a chunk header and the 16 bytes of a format record.
const size_t kSmallestFormatFile = 12 + 8 + 16;

// The input as a file in memory, rewritten for every input: a disk file would slow every run down.
class CInputFile {
public:
    CInputFile() : m_fd(memfd_create("wav_loader", 0)), m_name("/proc/self/fd/" + std::to_string(m_fd)) {}

    bool Write(const uint8_t *data, size_t size) {
        return m_fd >= 0 && ftruncate(m_fd, 0) == 0 && pwrite(m_fd, data, size, 0) == ssize_t(size);
    }

    const char *Name() const { return m_name.c_str(); }

private:
    const int m_fd;
    const std::string m_name;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static CInputFile input;
    if (!input.Write(data, size)) return 0;
    WAVEFORMATEX format;
    std::memset(&format, 0xAB, sizeof(format));
    const WAVEFORMATEX untouched = format;
    SHORT *block = nullptr;
    DWORD rate = 0;
    CWavLoader loader(input.Name());
    const DWORD count = loader.Load(&block, &rate, &format);
    if ((block == nullptr) != (count == 0)) std::abort();
    if (block) {
        // Every sample came from at least one byte of the data chunk, and the format was accepted.
        if (count > size || rate < 8000 || rate > 48000 || rate != format.nSamplesPerSec) std::abort();
        volatile SHORT sink = block[count - 1];
        (void)sink;
    } else if (std::memcmp(&format, &untouched, sizeof(format)) != 0 && size < kSmallestFormatFile) {
        std::abort();
    }
    std::free(block);
    return 0;
}
