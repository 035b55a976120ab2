// Any byte sequence, as a file, walked the way the WAV loaders walk it: the RIFF "WAVE" form, its
// "fmt " chunk read whole, ascend, the "data" chunk after it read whole; then every chunk of the
// form in turn, into nested lists. Reads never return more than was asked for.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

// The input as a file in memory, rewritten for every input: a disk file would slow every run down.
class CInputFile {
public:
    CInputFile() : m_fd(memfd_create("mmio_riff", 0)) {}

    bool Write(const uint8_t *data, size_t size) {
        return m_fd >= 0 && ftruncate(m_fd, 0) == 0 && pwrite(m_fd, data, size, 0) == ssize_t(size);
    }

    std::vector<char> Name() const {
        const std::string path = "/proc/self/fd/" + std::to_string(m_fd);
        return std::vector<char>(path.c_str(), path.c_str() + path.size() + 1);
    }

private:
    const int m_fd;
};

// Reads a chunk's declared size, bounded as a loader must bound it: by what the file can hold.
void ReadChunk(HMMIO file, const MMCKINFO &chunk, size_t fileSize) {
    std::vector<char> buffer(std::min<size_t>(chunk.cksize, fileSize + 1));
    const LONG read = mmioRead(file, buffer.data(), LONG(buffer.size()));
    if (read > LONG(buffer.size())) std::abort();
}

void WalkChildren(HMMIO file, const MMCKINFO &parent, size_t fileSize, int depth) {
    if (mmioSeek(file, LONG(parent.dwDataOffset + 4), SEEK_SET) < 0) return;
    MMCKINFO child = {};
    while (mmioDescend(file, &child, &parent, 0) == MMSYSERR_NOERROR) {
        if ((child.ckid == FOURCC_LIST || child.ckid == FOURCC_RIFF) && depth < 4)
            WalkChildren(file, child, fileSize, depth + 1);
        else
            ReadChunk(file, child, fileSize);
        if (mmioAscend(file, &child, 0) != MMSYSERR_NOERROR) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static CInputFile input;
    if (!input.Write(data, size)) return 0;
    std::vector<char> name = input.Name();
    HMMIO file = mmioOpenA(name.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    if (!file) return 0;
    MMCKINFO riff = {};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) == MMSYSERR_NOERROR) {
        MMCKINFO fmt = {};
        fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
        if (mmioDescend(file, &fmt, &riff, MMIO_FINDCHUNK) == MMSYSERR_NOERROR) {
            ReadChunk(file, fmt, size);
            mmioAscend(file, &fmt, 0);
            MMCKINFO samples = {};
            samples.ckid = mmioFOURCC('d', 'a', 't', 'a');
            if (mmioDescend(file, &samples, &riff, MMIO_FINDCHUNK) == MMSYSERR_NOERROR) ReadChunk(file, samples, size);
        }
        WalkChildren(file, riff, size, 0);
    }
    mmioClose(file, 0);
    return 0;
}
