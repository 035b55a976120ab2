// Decoding a 10-minute 44.1 kHz stereo WMA (128 kbit/s) to raw 16-bit PCM: `brivane pcm` (the whole
// process: start, GetAudioPCM, exit) against `ffmpeg -f s16le`, both writing to /dev/null. Wall time
// and the CPU time of each process; each round runs both, alternating which goes first.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "ProcessRace.h"

namespace {

const std::string kWork = FILES_BENCH_DIR;
const std::string kMedium = kWork + "/decode-bench-ten-minutes.wma";
const int kSeconds = 600;

// Pink noise on one channel and a tone on the other, made once.
bool MakeMedium() {
    if (std::ifstream(kMedium).good()) return true;
    const std::string part = kMedium + ".part.wma";
    const std::string length = std::to_string(kSeconds);
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i anoisesrc=color=pink:sample_rate=44100:amplitude=0.25:duration=" +
        length + " -f lavfi -i sine=frequency=330:sample_rate=44100:duration=" + length +
        " -filter_complex amerge=inputs=2 -c:a wmav2 -b:a 128k \"" + part + "\"";
    return std::system(command.c_str()) == 0 && std::rename(part.c_str(), kMedium.c_str()) == 0;
}

const std::string kOurs = BRIVANE_CLI " pcm \"" + kMedium + "\" > /dev/null 2>/dev/null";
const std::string kFfmpeg = "ffmpeg -nostdin -v error -i \"" + kMedium + "\" -f s16le - > /dev/null";

void DecodeAgainstFfmpeg(benchmark::State &state) {
    if (!MakeMedium()) {
        state.SkipWithError("the ffmpeg program could not make the medium");
        return;
    }
    RaceAgainstFfmpeg(state, kOurs, kFfmpeg, "pcm", kSeconds);
}

BENCHMARK(DecodeAgainstFfmpeg)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

}  // namespace
