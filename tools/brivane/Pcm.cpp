// brivane pcm: a media file's PCM through GetAudioPCM to standard output, its format to standard error.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CliFailure.h"
#include "Commands.h"
#include "HostOs.h"
#include "brivane.h"

namespace {

struct PcmOutput {
    std::FILE *out;
    bool failed;
};

void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
    PcmOutput *output = reinterpret_cast<PcmOutput *>(user);
    if (code == BRIVANE_PCM_FORMAT && length >= sizeof(BrivaneWaveFormat)) {
        BrivaneWaveFormat format;
        std::memcpy(&format, data, sizeof(format));
        std::fprintf(stderr, "rate %u channels %u bits %u\n", unsigned(format.nSamplesPerSec),
                     unsigned(format.nChannels), unsigned(format.wBitsPerSample));
    } else if (code == BRIVANE_PCM_DATA) {
        if (std::fwrite(data, 1, length, output->out) != length) output->failed = true;
    } else if (code == BRIVANE_PCM_WINDOW_REJECTED) {
        std::fprintf(stderr, "brivane pcm: the window cannot be applied; writing the whole file\n");
    }
}

bool ParseMs(const char *text, uint32_t *value) {
    char *end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < 0 || parsed > 0x7FFFFFFFL) return false;
    *value = uint32_t(parsed);
    return true;
}

int RunPcm(int argc, char **argv) {
    const char *path = nullptr;
    uint32_t fromMs = 0, toMs = 0;
    for (int i = 0; i < argc; ++i) {
        const bool from = std::strcmp(argv[i], "--from") == 0, to = std::strcmp(argv[i], "--to") == 0;
        if ((from || to) && i + 1 < argc && ParseMs(argv[i + 1], from ? &fromMs : &toMs)) {
            ++i;
        } else if (!from && !to && !path && argv[i][0] != '-') {
            path = argv[i];
        } else {
            std::fprintf(stderr, "usage: brivane pcm FILE [--from MS] [--to MS] > out.s16le\n");
            return kExitUsage;
        }
    }
    if (!path) {
        std::fprintf(stderr, "usage: brivane pcm FILE [--from MS] [--to MS] > out.s16le\n");
        return kExitUsage;
    }
    // With BRIVANE_DEBUG the library prints its progress on standard output: the PCM gets the real one to itself.
    PcmOutput output = {TakeStandardOutput(), false};
    if (!output.out) {
        std::perror("brivane pcm");
        return 1;
    }
    const uint32_t ok =
        GetAudioPCM(BRIVANE_KIND_AUDIO, path, fromMs, toMs, &OnPcm, reinterpret_cast<BRIVANE_USER>(&output), nullptr);
    GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr);
    if (std::fclose(output.out) != 0) output.failed = true;
    if (!ok) return FailInput("pcm", path, "not a medium the reader opens, or it holds no audio");
    if (output.failed) return Fail("pcm", kExitCannotWrite, "writing the PCM to standard output failed");
    return 0;
}

const CliCommandRegistration kPcm(
    {"pcm",
     "FILE [--from MS] [--to MS] > out.s16le\n"
     "            decode a media file (or the window from..to) to raw PCM; its format goes to stderr",
     &RunPcm, 20});

}  // namespace
