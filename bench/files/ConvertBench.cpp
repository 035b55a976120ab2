// Converting 10 minutes of 16 kHz mono speech-like PCM from a WAV file to WMA with the bundled speech
// profile: `brivane convert` (the whole process: start, Convert, exit) against the ffmpeg program
// making the same stream from the same file. Wall time, and the processes' own CPU time (user and
// system) beside it, which other load on the machine does not change; each round runs both,
// alternating which goes first.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "ProcessRace.h"

namespace {

const std::string kWork = FILES_BENCH_DIR;
const std::string kInput = kWork + "/convert-bench-speech.wav";
const int kSeconds = 600;

// Speech-like material: pink noise under a tone that comes and goes at syllable rate, made once.
bool MakeSpeech() {
    if (std::ifstream(kInput).good()) return true;
    const std::string length = std::to_string(kSeconds);
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i \"anoisesrc=c=pink:r=16000:a=0.05:d=" + length +
        "\" -f lavfi -i \"sine=f=180:r=16000:d=" + length +
        ",volume='0.3*(1+sin(2*PI*4*t))':eval=frame\" -filter_complex amix=inputs=2 -ac 1 -c:a pcm_s16le \"" + kInput +
        "\"";
    return std::system(command.c_str()) == 0;
}

// The format check of the conversion asks the wave mapper, which needs a device: SDL's dummy one here.
const std::string kOurs = "SDL_AUDIODRIVER=dummy " BRIVANE_CLI " convert \"" + kInput + "\" \"" + kWork +
                          "/convert-bench-ours.wma\" 2>/dev/null";
// The profile's 16 kbps is taken as 24 kbps by the Linux writer, the least the wmav2 encoder takes.
const std::string kFfmpeg =
    "ffmpeg -v error -y -i \"" + kInput + "\" -c:a wmav2 -b:a 24000 \"" + kWork + "/convert-bench-ffmpeg.wma\"";

void ConvertAgainstFfmpeg(benchmark::State &state) {
    if (!MakeSpeech()) {
        state.SkipWithError("the ffmpeg program could not make the input");
        return;
    }
    RaceAgainstFfmpeg(state, kOurs, kFfmpeg, "convert", kSeconds);
}

BENCHMARK(ConvertAgainstFfmpeg)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace
