// GetAudioPCM as a host meets it: the PCM of common media against what the ffmpeg program decodes,
// windows, cancellation, and the decoder it keeps between calls.
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

#include "brivane.h"

namespace {

class PcmLog {
public:
    static void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
        reinterpret_cast<PcmLog *>(user)->Add(code, static_cast<const char *>(data), length);
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    // Once this many PCM bytes have arrived, the callback holds the decode until Cancel.
    void HoldAfter(size_t bytes, volatile uint32_t *flag) {
        m_holdAfter = bytes;
        m_flag = flag;
    }
    // As a host thread would: waits for the hold, sets the flag and lets the callback return.
    void Cancel() {
        std::unique_lock<std::mutex> hold(m_lock);
        EXPECT_TRUE(m_changed.wait_for(hold, std::chrono::seconds(10), [&] { return m_held; }));
        __atomic_store_n(m_flag, 1u, __ATOMIC_RELAXED);
        m_changed.notify_all();
    }

    std::vector<uint32_t> codes;  // a run of PCM deliveries counts once
    std::string pcm;
    BrivaneWaveFormat format = {};
    std::vector<std::thread::id> controlThreads;  // where codes other than PCM came

private:
    void Add(uint32_t code, const char *data, uint32_t length) {
        std::unique_lock<std::mutex> hold(m_lock);
        if (codes.empty() || codes.back() != code || code != BRIVANE_PCM_DATA) codes.push_back(code);
        if (code == BRIVANE_PCM_DATA) pcm.append(data, length);
        if (code != BRIVANE_PCM_DATA) controlThreads.push_back(std::this_thread::get_id());
        if (code == BRIVANE_PCM_FORMAT && length == sizeof(format)) std::memcpy(&format, data, sizeof(format));
        if (m_flag && !m_held && pcm.size() >= m_holdAfter) {
            m_held = true;
            m_changed.notify_all();
            m_changed.wait_for(hold, std::chrono::seconds(10), [&] { return *m_flag != 0; });
        }
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    size_t m_holdAfter = 0;
    volatile uint32_t *m_flag = nullptr;
    bool m_held = false;
};

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

int WorstDifference(const std::string &a, const std::string &b) {
    int worst = 0;
    for (size_t i = 0; i + 1 < std::min(a.size(), b.size()); i += 2)
        worst = std::max(worst, std::abs(int16_t(uint8_t(a[i]) | uint8_t(a[i + 1]) << 8) -
                                         int16_t(uint8_t(b[i]) | uint8_t(b[i + 1]) << 8)));
    return worst;
}

const std::vector<uint32_t> kWhole = {BRIVANE_PCM_FORMAT, BRIVANE_PCM_DATA, BRIVANE_PCM_END};

class GetAudioPcm : public ::testing::Test {
protected:
    // No decoder is left behind for the suites that follow in this process.
    void TearDown() override { GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr); }

    static uint32_t Decode(const std::string &path, PcmLog &log, uint32_t startMs = 0, uint32_t endMs = 0,
                           volatile uint32_t *cancel = nullptr, uint32_t kind = BRIVANE_KIND_AUDIO) {
        // A flag set before the call silences the open's progress line too.
        const bool cancelled = cancel && *cancel;
        testing::internal::CaptureStdout();
        const uint32_t result = GetAudioPCM(kind, path.c_str(), startMs, endMs, &PcmLog::OnPcm, log.User(), cancel);
        const bool opened = testing::internal::GetCapturedStdout() == "Reader Callback: File is opened.\n";
        EXPECT_EQ(result && !cancelled, opened);
        return result;
    }
};

TEST_F(GetAudioPcm, RefusedCallsDeliverNothingButTheEnd) {
    const Medium wav = Make("chirp.wav", std::string(kChirp) + "-c:a pcm_s16le");
    std::ofstream(wav.path + ".garbage") << std::string(4000, 'x');
    struct Case {
        const char *what;
        uint32_t kind;
        std::string path;
        std::vector<uint32_t> codes;
    };
    const Case cases[] = {
        {"kind 2", 2, wav.path, {}},
        {"empty path", BRIVANE_KIND_AUDIO, "", {}},
        {"missing file", BRIVANE_KIND_AUDIO, wav.path + ".missing", {BRIVANE_PCM_END}},
        {"not a medium", BRIVANE_KIND_AUDIO, wav.path + ".garbage", {BRIVANE_PCM_END}},
    };
    for (const Case &c : cases) {
        PcmLog log;
        EXPECT_EQ(0u, Decode(c.path, log, 0, 0, nullptr, c.kind)) << c.what;
        EXPECT_EQ(c.codes, log.codes) << c.what;
    }
}

TEST_F(GetAudioPcm, KeepsOneDecoderUntilToldOrShutDown) {
    const Medium wav = Make("chirp.wav", std::string(kChirp) + "-c:a pcm_s16le");
    PcmLog log;
    EXPECT_EQ(0u, GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr)) << "no decoder yet";
    EXPECT_EQ(1u, Decode(wav.path, log));
    EXPECT_EQ(1u, Decode(wav.path, log)) << "the kept decoder decodes again";
    EXPECT_EQ(1u, GetAudioPCM(2, nullptr, 0, 0, nullptr, 0, nullptr)) << "a null path destroys it whatever the kind";
    EXPECT_EQ(0u, GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr));
    EXPECT_EQ(1u, Decode(wav.path, log)) << "a fresh decoder";
    ASSERT_EQ(1u, InitBrivane());
    UnInitBrivane();
    EXPECT_EQ(0u, GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr)) << "the shutdown destroyed it";
    testing::internal::CaptureStdout();
    EXPECT_EQ(1u, GetAudioPCM(BRIVANE_KIND_AUDIO, wav.path.c_str(), 0, 0, nullptr, 0, nullptr)) << "no callback";
    testing::internal::GetCapturedStdout();
}

// The PCM callback runs on the reader's thread while GetAudioPCM holds the library lock: exports it
// calls must run, not wait for that lock.
void BRIVANE_CALL CallLockedExport(uint32_t, BRIVANE_USER user, uint32_t code, const void *, uint32_t) {
    if (code == BRIVANE_PCM_DATA) *reinterpret_cast<uint32_t *>(user) += AudioOutSetVolume(0x7777, 50);
}

TEST_F(GetAudioPcm, ItsCallbackMayCallLockedExports) {
    const Medium wav = Make("chirp.wav", std::string(kChirp) + "-c:a pcm_s16le");
    ASSERT_EQ(1u, InitBrivane());
    uint32_t posted = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(1u, GetAudioPCM(BRIVANE_KIND_AUDIO, wav.path.c_str(), 0, 500, &CallLockedExport,
                              reinterpret_cast<BRIVANE_USER>(&posted), nullptr));
    testing::internal::GetCapturedStdout();
    EXPECT_GT(posted, 0u);
    UnInitBrivane();
}

TEST_F(GetAudioPcm, PcmMatchesWhatTheFfmpegProgramDecodes) {
    // Compressed media go through the same FFmpeg decoders on Linux, so only rounding may differ.
    const std::pair<const char *, const char *> media[] = {
        {"chirp.wav", "-c:a pcm_s16le"}, {"chirp.wma", "-c:a wmav2 -b:a 128k"}, {"chirp.mp3", "-c:a libmp3lame"},
        {"chirp.flac", "-c:a flac"},     {"chirp.ogg", "-c:a libvorbis"},
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
        EXPECT_LT(windowTime * 4, wholeTime) << "the decode runs on past the window";
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
