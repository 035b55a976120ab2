// Any byte sequence, as a file, loaded as a speech recording for conversion: the RIFF walk, the
// format checks with their message boxes, and the data chunk read as 16-bit samples, whatever
// sizes the chunks claim. A loaded block must hold exactly the samples it reports.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/SpeechWave.h"

namespace {

// The input as a file in memory, rewritten for every input: a disk file would slow every run down.
class CInputFile {
public:
    CInputFile() : m_fd(memfd_create("speech_wave", 0)) {}

    bool Write(const uint8_t *data, size_t size) {
        return m_fd >= 0 && ftruncate(m_fd, 0) == 0 && pwrite(m_fd, data, size, 0) == ssize_t(size);
    }

    std::string Name() const { return "/proc/self/fd/" + std::to_string(m_fd); }

private:
    const int m_fd;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    // The format check asks the wave mapper, which needs a device even on a machine without sound.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // Every refused format shows a message box, a line on standard error: keep them out of the log.
    static std::vector<char *> arguments(*argv, *argv + *argc);
    static char quiet[] = "-close_fd_mask=2";
    arguments.push_back(quiet);
    arguments.push_back(nullptr);
    *argc = int(arguments.size() - 1);
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static CInputFile input;
    if (!input.Write(data, size)) return 0;
    DWORD count = 0;
    WAVEFORMATEX format;
    SHORT *samples = LoadSpeechWave(input.Name().c_str(), &count, &format);
    if (!samples) {
        if (count != 0) std::abort();
        return 0;
    }
    // No file holds more samples than bytes, and ASan checks every one of them is inside the block.
    if (count == 0 || count > size || format.nChannels != 1) std::abort();
    volatile int sum = 0;
    for (DWORD i = 0; i < count; ++i) sum = sum + samples[i];
    HeapFree(GetProcessHeap(), 0, samples);
    return 0;
}
