// GetAudioPCM on media the ffmpeg program makes when the suite runs: MP3, FLAC and Ogg against what
// the program decodes, a window that stops a minute-long decode early, and a cancel during a decode.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PcmHost.h"

namespace {

std::string ReadAll(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A medium made with the ffmpeg program on first use and kept for later runs, beside what the program
// decodes from it; made aside and renamed, so that a run beside this one never reads half a file.
struct Medium {
    std::string path;
    std::string reference;
};

Medium Make(const std::string &name, const std::string &arguments) {
    const std::string dir = ::testing::TempDir() + "brivane-pcm-media";
    mkdir(dir.c_str(), 0700);
    const std::string path = dir + "/" + name;
    const std::pair<std::string, std::string> files[] = {{path, arguments}, {path + ".s16", "-i '" + path + "' -f s16le"}};
    for (const auto &file : files) {
        if (access(file.first.c_str(), R_OK) == 0) continue;
        const std::string part = file.first + ".part" + std::to_string(getpid()) + file.first.substr(file.first.rfind('.'));
        EXPECT_EQ(0, std::system(("ffmpeg -nostdin -v error -y " + file.second + " '" + part + "'").c_str()));
        std::rename(part.c_str(), file.first.c_str());
    }
    return {path, ReadAll(path + ".s16")};
}

const char kChirp[] = "-f lavfi -i aevalsrc='0.5*sin(2*PI*(200+300*t)*t)|0.4*sin(2*PI*(900-200*t)*t)':s=44100:d=3 ";

// A minute of stereo noise and tone: long enough that decoding all of it shows.
Medium Long(const std::string &extension, const char *codec) {
    return Make("minute." + extension, "-f lavfi -i anoisesrc=color=pink:sample_rate=44100:duration=60:amplitude=0.25 "
                                     "-f lavfi -i sine=frequency=330:sample_rate=44100:duration=60 "
                                     "-filter_complex amerge=inputs=2 " + std::string(codec));
}

TEST_F(GetAudioPcm, PcmMatchesWhatTheFfmpegProgramDecodes) {
    // Compressed media go through the same FFmpeg decoders on Linux, so only rounding may differ.
    const std::pair<const char *, const char *> media[] = {
        {"chirp.mp3", "-c:a libmp3lame"}, {"chirp.flac", "-c:a flac"}, {"chirp.ogg", "-c:a libvorbis"},
    };
    for (const auto &medium : media) {
        SCOPED_TRACE(medium.first);
        const Medium made = Make(medium.first, kChirp + std::string(medium.second));
        PcmLog log;
        ASSERT_EQ(1u, Decode(made.path, log));
        EXPECT_EQ(kWhole, log.codes);
        // The extra size is the codec's, passed on as it is.
        const BrivaneWaveFormat pcm44k = {1, 2, 44100, 176400, 4, 16, log.format.cbSize};
        EXPECT_EQ(0, std::memcmp(&pcm44k, &log.format, sizeof(pcm44k)));
        EXPECT_EQ(made.reference.size(), log.pcm.size());
        EXPECT_LE(WorstDifference(made.reference, log.pcm), 1);
        for (std::thread::id thread : log.controlThreads) EXPECT_EQ(std::this_thread::get_id(), thread);
    }
}

TEST_F(GetAudioPcm, WindowDeliversItsBytesAndStopsTheDecode) {
    for (const Medium &medium : {Long("wav", "-c:a pcm_s16le"), Long("wma", "-c:a wmav2 -b:a 128k")}) {
        SCOPED_TRACE(medium.path);
        PcmLog whole;
        // Processor time, not wall time, so other processes do not skew it; the window's fastest of
        // three runs, since the process's other threads can only add to it.
        std::clock_t start = std::clock();
        ASSERT_EQ(1u, Decode(medium.path, whole));
        const std::clock_t wholeTime = std::clock() - start;
        EXPECT_EQ(medium.reference, whole.pcm);
        std::clock_t windowTime = wholeTime;
        for (int run = 0; run < 3; ++run) {
            PcmLog window;
            start = std::clock();
            ASSERT_EQ(1u, Decode(medium.path, window, 1000, 2000));
            windowTime = std::min(windowTime, std::clock() - start);
            // Samples of 2 bytes at 176400 bytes/s: from byte 176400 to byte 352800.
            EXPECT_EQ(kWhole, window.codes);
            EXPECT_TRUE(whole.pcm.compare(176400, 176400, window.pcm) == 0);
        }
        // A whole WAV decodes in a few times the fixed cost of a decode, so half is the margin that holds.
        EXPECT_LT(windowTime * 2, wholeTime) << "the decode runs on past the window";
    }
}

TEST_F(GetAudioPcm, CancelFlagEndsTheDecodeLikeAFinishedOne) {
    const Medium medium = Long("wma", "-c:a wmav2 -b:a 128k");
    volatile uint32_t early = 1;
    PcmLog before;
    EXPECT_EQ(1u, Decode(medium.path, before, 0, 0, &early));
    EXPECT_EQ((std::vector<uint32_t>{BRIVANE_PCM_FORMAT, BRIVANE_PCM_END}), before.codes);

    volatile uint32_t cancel = 0;
    PcmLog during;
    during.HoldAfter(5 * 176400, &cancel);
    std::thread host([&] { during.Cancel(); });
    EXPECT_EQ(1u, Decode(medium.path, during, 0, 0, &cancel));
    host.join();
    EXPECT_EQ(kWhole, during.codes);
    EXPECT_GE(during.pcm.size(), 5u * 176400);
    EXPECT_LT(during.pcm.size(), 6u * 176400) << "PCM kept coming after the cancel";
    EXPECT_EQ(medium.reference.substr(0, during.pcm.size()), during.pcm);
}

}  // namespace
