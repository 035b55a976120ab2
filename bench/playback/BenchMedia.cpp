#include "BenchMedia.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <unistd.h>

std::string Medium(int seconds, const char *extension) {
    const std::string made = std::string(PLAYBACK_BENCH_DIR) + "/play-" + std::to_string(seconds) + "s." + extension;
    if (access(made.c_str(), R_OK) == 0) return made;
    const std::string part = made + ".part." + extension;
    // Direct WAV mode takes only "fmt ", "fact" and "data" chunks: no LIST chunk from the muxer.
    const std::string codec =
        std::string(extension) == "wav" ? "pcm_s16le -map_metadata -1 -fflags +bitexact" : "wmav2 -b:a 128k";
    const std::string length = std::to_string(seconds);
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i anoisesrc=color=pink:sample_rate=44100:duration=" + length +
        ":amplitude=0.25 -f lavfi -i sine=frequency=330:sample_rate=44100:duration=" + length +
        " -filter_complex amerge=inputs=2 -c:a " + codec + " '" + part + "'";
    if (std::system(command.c_str()) != 0 || std::rename(part.c_str(), made.c_str()) != 0) return std::string();
    return made;
}

std::u16string Utf16(const std::string &text) { return std::u16string(text.begin(), text.end()); }

bool WaitFor(const std::atomic<int> &counter, int target, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (counter.load() < target) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
