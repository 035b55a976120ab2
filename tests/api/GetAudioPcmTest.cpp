// GetAudioPCM as a host meets it: the PCM of WAV and compressed files, the window that stops a long
// decode early, the cancel flag, the calls it refuses, the decoder it keeps between calls, and a
// callback that calls back in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "PlaybackHost.h"

namespace {

// A host's PCM callback, and the decode call the cases share.
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
        std::unique_lock<HostMutex> hold(m_lock);
        EXPECT_TRUE(m_changed.wait_for(hold, std::chrono::seconds(10), [&] { return m_held; }));
        __atomic_store_n(m_flag, 1u, __ATOMIC_RELAXED);
        m_changed.notify_all();
    }

    std::vector<uint32_t> codes;  // a run of PCM deliveries counts once
    std::string pcm;
    BrivaneWaveFormat format = {};
    std::vector<HostThreadId> controlThreads;  // where codes other than PCM came

private:
    void Add(uint32_t code, const char *data, uint32_t length) {
        std::unique_lock<HostMutex> hold(m_lock);
        if (codes.empty() || codes.back() != code || code != BRIVANE_PCM_DATA) codes.push_back(code);
        if (code == BRIVANE_PCM_DATA) pcm.append(data, length);
        if (code != BRIVANE_PCM_DATA) controlThreads.push_back(CurrentHostThread());
        if (code == BRIVANE_PCM_FORMAT && length == sizeof(format)) std::memcpy(&format, data, sizeof(format));
        if (m_flag && !m_held && pcm.size() >= m_holdAfter) {
            m_held = true;
            m_changed.notify_all();
            m_changed.wait_for(hold, std::chrono::seconds(10), [&] { return *m_flag != 0; });
        }
    }

    HostMutex m_lock;
    HostCondition m_changed;
    size_t m_holdAfter = 0;
    volatile uint32_t *m_flag = nullptr;
    bool m_held = false;
};

inline int WorstDifference(const std::string &a, const std::string &b) {
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
    void TearDown() override { Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr); }

    static uint32_t Decode(const std::string &path, PcmLog &log, uint32_t startMs = 0, uint32_t endMs = 0,
                           volatile uint32_t *cancel = nullptr, uint32_t kind = BRIVANE_KIND_AUDIO) {
        // A flag set before the call silences the open's progress line too.
        const bool cancelled = cancel && *cancel;
        testing::internal::CaptureStdout();
        const uint32_t result =
            Brivane().GetAudioPCM(kind, path.c_str(), startMs, endMs, &PcmLog::OnPcm, log.User(), cancel);
        const bool opened = testing::internal::GetCapturedStdout() == "Reader Callback: File is opened.\n";
        EXPECT_EQ(result && !cancelled, opened);
        return result;
    }
};

std::vector<int16_t> Samples(const std::vector<char> &bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Signal to noise of ours against theirs in dB over their whole length, ours being shifted later by
// the number of frames up to maxLead that fits best.
double BestSnr(const std::vector<int16_t> &theirs, const std::vector<int16_t> &ours, int channels, int maxLead) {
    double best = -1;
    for (int lead = 0; lead <= maxLead; ++lead) {
        double noise = 0, power = 0;
        const size_t offset = size_t(lead) * channels;
        if (offset >= ours.size()) break;
        const size_t count = std::min(theirs.size(), ours.size() - offset);
        for (size_t i = 0; i < count; i += 7) {
            const double d = double(theirs[i]) - ours[i + offset];
            noise += d * d;
            power += double(theirs[i]) * theirs[i];
        }
        const double snr = noise == 0 ? 200 : 10 * std::log10(power / noise);
        best = std::max(best, snr);
    }
    return best;
}

TEST_F(GetAudioPcm, MediaDecodeToTheirPcm) {
    for (const char *name : {"tone.wav", "tone.wma", "tone.mp3", "tone.flac", "tone.ogg"}) {
        SCOPED_TRACE(name);
        // Only FFmpeg's reader is expected to take FLAC and Ogg.
        if (!kFfmpegDecodes && (std::strstr(name, "flac") || std::strstr(name, "ogg"))) continue;
        const Medium &medium = MediumNamed(name);
        PcmLog log;
        ASSERT_EQ(1u, Decode(medium.path, log));
        EXPECT_EQ(kWhole, log.codes);
        // The extra size is the codec's, passed on as it is.
        const BrivaneWaveFormat pcm44k = {1, 2, 44100, 176400, 4, 16, log.format.cbSize};
        EXPECT_EQ(0, std::memcmp(&pcm44k, &log.format, sizeof(pcm44k)));
        const std::vector<char> pcm(log.pcm.begin(), log.pcm.end());
        if (medium.exact) {
            EXPECT_TRUE(medium.pcm == pcm) << pcm.size() << " bytes of " << medium.pcm.size();
        } else if (kFfmpegDecodes) {
            // The same FFmpeg decoder as the ffmpeg program's, so only rounding may differ.
            EXPECT_EQ(medium.pcm.size(), pcm.size());
            EXPECT_LE(WorstDifference(std::string(medium.pcm.begin(), medium.pcm.end()), log.pcm), 1);
        } else {
            // Another decoder puts up to 4096 frames of codec delay in front, and runs on about as far.
            EXPECT_NEAR(double(medium.pcm.size()), double(pcm.size()), 4.0 * 4096 + 4 * 2048);
            EXPECT_GT(BestSnr(Samples(medium.pcm), Samples(pcm), 2, 4096), 40.0);
        }
        for (HostThreadId thread : log.controlThreads) EXPECT_EQ(CurrentHostThread(), thread);
    }
}

// A window of a long medium delivers its bytes and stops the decode there; a flag set before the call
// delivers nothing, and one set during the decode ends it like a finished one.
TEST_F(GetAudioPcm, WindowAndCancelFlagEndTheDecodeEarly) {
    const Medium noise = NoiseWave(2, 44100, 16, 60000);
    const std::string wav = WriteTemp("pcm-minute.wav", noise.image);
    for (const std::string &path : {wav, MediumNamed("minutes.wma").path}) {
        SCOPED_TRACE(path);
        PcmLog whole;
        // Processor time, not wall time, so other processes do not skew it; the window's fastest of
        // three runs, since the process's other threads can only add to it.
        std::clock_t start = std::clock();
        ASSERT_EQ(1u, Decode(path, whole));
        const std::clock_t wholeTime = std::clock() - start;
        const size_t second = whole.format.nAvgBytesPerSec;
        // Wine's WMA decoder gives a window, or a second decode, a few samples apart.
        const bool exact = path == wav || kFfmpegDecodes;
        if (path == wav) {
            EXPECT_TRUE(std::string(noise.pcm.begin(), noise.pcm.end()) == whole.pcm);
        }
        std::clock_t windowTime = wholeTime;
        for (int run = 0; run < 3; ++run) {
            PcmLog window;
            start = std::clock();
            ASSERT_EQ(1u, Decode(path, window, 1000, 2000));
            windowTime = std::min(windowTime, std::clock() - start);
            EXPECT_EQ(kWhole, window.codes);
            EXPECT_TRUE(!exact || whole.pcm.compare(second, second, window.pcm) == 0);
        }
        // A whole WAV decodes in a few times the fixed cost of a decode, so half is the margin that holds.
        EXPECT_LT(windowTime * 2, wholeTime) << "the decode runs on past the window";

        volatile uint32_t early = 1;
        PcmLog before;
        EXPECT_EQ(1u, Decode(path, before, 0, 0, &early));
        EXPECT_EQ((std::vector<uint32_t>{BRIVANE_PCM_FORMAT, BRIVANE_PCM_END}), before.codes);

        volatile uint32_t cancel = 0;
        PcmLog during;
        during.HoldAfter(5 * second, &cancel);
        HostThread host([&] { during.Cancel(); });
        EXPECT_EQ(1u, Decode(path, during, 0, 0, &cancel));
        host.join();
        EXPECT_EQ(kWhole, during.codes);
        EXPECT_GE(during.pcm.size(), 5 * second);
        EXPECT_LT(during.pcm.size(), 6 * second) << "PCM kept coming after the cancel";
        EXPECT_TRUE(!exact || whole.pcm.compare(0, during.pcm.size(), during.pcm) == 0);
    }
}

TEST_F(GetAudioPcm, RefusedCallsDeliverNothingButTheEnd) {
    const Medium &wav = MediumNamed("tone.wav");
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
        {"not a medium", BRIVANE_KIND_AUDIO, MediumNamed("garbage.bin").path, {BRIVANE_PCM_END}},
    };
    for (const Case &c : cases) {
        PcmLog log;
        EXPECT_EQ(0u, Decode(c.path, log, 0, 0, nullptr, c.kind)) << c.what;
        EXPECT_EQ(c.codes, log.codes) << c.what;
    }
}

TEST_F(GetAudioPcm, KeepsOneDecoderUntilToldOrShutDown) {
    const Medium &wav = MediumNamed("tone.wav");
    PcmLog log;
    EXPECT_EQ(0u, Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr)) << "no decoder yet";
    EXPECT_EQ(1u, Decode(wav.path, log));
    EXPECT_EQ(1u, Decode(wav.path, log)) << "the kept decoder decodes again";
    EXPECT_EQ(1u, Brivane().GetAudioPCM(2, nullptr, 0, 0, nullptr, 0, nullptr))
        << "a null path destroys it whatever the kind";
    EXPECT_EQ(0u, Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr));
    EXPECT_EQ(1u, Decode(wav.path, log)) << "a fresh decoder";
    ASSERT_EQ(1u, Brivane().InitBrivane());
    Brivane().UnInitBrivane();
    EXPECT_EQ(0u, Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr))
        << "the shutdown destroyed it";
    testing::internal::CaptureStdout();
    EXPECT_EQ(1u, Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, wav.path.c_str(), 0, 0, nullptr, 0, nullptr))
        << "no callback";
    testing::internal::GetCapturedStdout();
}

// The PCM callback runs on the reader's thread while GetAudioPCM holds the library lock: exports it
// calls must run, not wait for that lock.
void BRIVANE_CALL CallLockedExport(uint32_t, BRIVANE_USER user, uint32_t code, const void *, uint32_t) {
    if (code == BRIVANE_PCM_DATA) *reinterpret_cast<uint32_t *>(user) += Brivane().AudioOutSetVolume(0x7777, 50);
}

TEST_F(GetAudioPcm, ItsCallbackMayCallLockedExports) {
    const Medium &wav = MediumNamed("tone.wav");
    ASSERT_EQ(1u, Brivane().InitBrivane());
    uint32_t posted = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(1u, Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, wav.path.c_str(), 0, 500, &CallLockedExport,
                                        reinterpret_cast<BRIVANE_USER>(&posted), nullptr));
    testing::internal::GetCapturedStdout();
    EXPECT_GT(posted, 0u);
    Brivane().UnInitBrivane();
}

}  // namespace
