// Shared by the conversion tests: byte-built WAV files, a tone, a scratch directory, ffmpeg to decode the WMA written.
#pragma once

#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "WaveTestSupport.h"

namespace convert_test {

// A RIFF WAVE file of the format with data as its data chunk's bytes.
inline Bytes MakeWav(const WAVEFORMATEX &format, const Bytes &data, DWORD fmtSize = 16,
                     DWORD declaredData = kTrueSize) {
    return Riff({FmtChunk(format, fmtSize), Chunk("data", data, declaredData)});
}

inline std::vector<int16_t> Tone(DWORD rate, double seconds, double hz, double level) {
    std::vector<int16_t> samples(size_t(rate * seconds));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(std::lround(level * 32767.0 * std::sin(2 * M_PI * hz * double(i) / rate)));
    return samples;
}

// The samples as a WAV file's data: 16-bit, or 8-bit as a recorder would have stored them.
inline Bytes Pcm(const std::vector<int16_t> &samples, WORD bits) {
    Bytes out;
    for (int16_t s : samples) {
        if (bits == 8)
            out.push_back(BYTE((s >> 8) + 128));
        else
            PutLe(out, DWORD(uint16_t(s)), 2);
    }
    return out;
}

// A directory of its own for each test, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        char name[] = "/tmp/brivane-convert-XXXXXX";
        if (mkdtemp(name)) m_path = name;
    }
    ~ScratchDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    std::string Path(const char *name) const { return m_path + "/" + name; }

private:
    std::string m_path = "/nonexistent";
};

inline std::basic_string<WCHAR> SpeechProfile() {
    std::ifstream file(BRIVANE_SPEECH_PROFILE, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return std::basic_string<WCHAR>(text.begin(), text.end());
}

// What ffmpeg decodes from the file as 16-bit mono at the rate.
inline std::vector<int16_t> DecodeWithFfmpeg(const std::string &path, DWORD rate) {
    const std::string command = "ffmpeg -v error -i '" + path + "' -f s16le -ac 1 -ar " + std::to_string(rate) + " -";
    std::vector<int16_t> samples;
    if (std::FILE *pipe = popen(command.c_str(), "r")) {
        for (int16_t block[2048]; size_t got = std::fread(block, 2, 2048, pipe);)
            samples.insert(samples.end(), block, block + got);
        pclose(pipe);
    }
    return samples;
}

}  // namespace convert_test
