// GetAudioPCM as a host meets it: the window that stops a long decode early, the cancel flag, the
// calls it refuses, and the decoder it keeps between calls.
#include <gtest/gtest.h>

#include <algorithm>
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
        PcmLog *log = reinterpret_cast<PcmLog *>(user);
        if (log->codes.empty() || log->codes.back() != code || code != BRIVANE_PCM_DATA) log->codes.push_back(code);
        if (code == BRIVANE_PCM_DATA) log->pcm.append(static_cast<const char *>(data), length);
        if (code != BRIVANE_PCM_DATA) log->controlThreads.push_back(CurrentHostThread());
        if (code == BRIVANE_PCM_FORMAT && length == sizeof(BrivaneWaveFormat)) std::memcpy(&log->format, data, length);
        // As a host would mid-decode: sets the cancel flag once this many PCM bytes have arrived.
        if (log->cancel && log->pcm.size() >= log->cancelAfter) *log->cancel = 1;
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    std::vector<uint32_t> codes;  // a run of PCM deliveries counts once
    std::string pcm;
    BrivaneWaveFormat format = {};
    std::vector<HostThreadId> controlThreads;  // where codes other than PCM came
    volatile uint32_t *cancel = nullptr;
    size_t cancelAfter = 0;
};

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
        for (HostThreadId thread : whole.controlThreads) EXPECT_EQ(CurrentHostThread(), thread);
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
        during.cancel = &cancel;
        during.cancelAfter = 5 * second;
        EXPECT_EQ(1u, Decode(path, during, 0, 0, &cancel));
        EXPECT_EQ(kWhole, during.codes);
        EXPECT_GE(during.pcm.size(), 5 * second);
        EXPECT_LT(during.pcm.size(), 6 * second) << "PCM kept coming after the cancel";
        EXPECT_TRUE(!exact || whole.pcm.compare(0, during.pcm.size(), during.pcm) == 0);
    }
}

// One decoder is kept between calls until a null path or a shutdown; refused calls deliver nothing but the end.
TEST_F(GetAudioPcm, KeepsOneDecoderUntilToldOrShutDownAndRefusedCallsDeliverNothingButTheEnd) {
    const Medium &wav = MediumNamed("tone.wav");
    PcmLog log;
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
    const struct {
        uint32_t kind;
        std::string path;
        std::vector<uint32_t> codes;
    } refusals[] = {
        {2, wav.path, {}},
        {BRIVANE_KIND_AUDIO, "", {}},
        {BRIVANE_KIND_AUDIO, wav.path + ".missing", {BRIVANE_PCM_END}},
        {BRIVANE_KIND_AUDIO, MediumNamed("garbage.bin").path, {BRIVANE_PCM_END}},
    };
    for (const auto &refusal : refusals) {
        PcmLog refused;
        EXPECT_EQ(0u, Decode(refusal.path, refused, 0, 0, nullptr, refusal.kind))
            << refusal.kind << " " << refusal.path;
        EXPECT_EQ(refusal.codes, refused.codes) << refusal.kind << " " << refusal.path;
    }
}

}  // namespace
