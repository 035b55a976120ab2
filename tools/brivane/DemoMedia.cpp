// The demo's files: a scratch directory, the bundled speech profile and a speech-like test signal
// written as a WAV file by the demo itself.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "CliSupport.h"
#include "DemoSteps.h"
#include "HostOs.h"

namespace {

const uint32_t kRate = 16000;
const double kPi = 3.14159265358979323846;

void PutLe(std::vector<unsigned char> *out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

}  // namespace

std::basic_string<BRIVANE_WCHAR> Wide(const std::string &text) { return WidePath(text.c_str()); }

bool PrepareDemoFiles(DemoFiles *files) {
    if (!MakeScratchDirectory(&files->directory)) return false;
    files->wav = files->directory + "/speech.wav";
    files->wma = files->directory + "/speech.wma";
    files->recording = files->directory + "/recording.wma";
    LoadProfile(nullptr, &files->profile);
    return true;
}

void RemoveDemoFiles(const DemoFiles &files) {
    for (const std::string *path : {&files.wav, &files.wma, &files.recording}) std::remove(path->c_str());
    RemoveEmptyDirectory(files.directory);
}

StepResult WriteSpeechLikeWave(const std::string &path, uint32_t *durationMs) {
    // Three syllables a second: a voiced source of ten harmonics on a pitch gliding between 110 and
    // 160 Hz, shaped by a syllable envelope, with short pauses between words.
    const uint32_t frames = kRate * 3;
    std::vector<unsigned char> wav;
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    PutLe(&wav, 36 + frames * 2, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(&wav, 16, 4);
    PutLe(&wav, 1, 2);
    PutLe(&wav, 1, 2);
    PutLe(&wav, kRate, 4);
    PutLe(&wav, kRate * 2, 4);
    PutLe(&wav, 2, 2);
    PutLe(&wav, 16, 2);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    PutLe(&wav, frames * 2, 4);
    double phase = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        const double pitch = 135 + 25 * std::sin(2 * kPi * 0.7 * t);
        phase += 2 * kPi * pitch / kRate;
        const double syllable = std::sin(kPi * std::fmod(t * 3, 1.0));
        const double word = std::fmod(t, 1.0) < 0.85 ? 1.0 : 0.0;
        double voice = 0;
        for (int h = 1; h <= 10; ++h) voice += std::sin(h * phase) / h;
        const double sample = 0.35 * voice * syllable * syllable * word;
        PutLe(&wav, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(sample * 32767 * 0.9))), 2);
    }
    std::FILE *file = std::fopen(path.c_str(), "wb");
    StepResult result;
    if (!file) {
        result.detail = "cannot write " + path;
        return result;
    }
    result.ok = std::fwrite(wav.data(), 1, wav.size(), file) == wav.size();
    result.ok = (std::fclose(file) == 0) && result.ok;
    *durationMs = frames * 1000 / kRate;
    result.detail = "3.0 s, 16 kHz mono 16-bit, " + std::to_string(wav.size()) + " bytes";
    return result;
}
