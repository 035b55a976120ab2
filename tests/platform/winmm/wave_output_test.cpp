// Wave output as the players use it: the format query, buffers played and handed back in order,
// pause, restart and reset, real-time pace, per-device volume, and (on SDL's disk driver) the PCM
// that reaches the device.
#include <algorithm>

#include "wave_support.h"

namespace {

TEST(WaveOutContract, FormatQueryOpensNothing) {
    WAVEFORMATEX zeroRate = PcmFormat(1, 8000, 16), badAlign = PcmFormat(1, 22050, 16),
                 unknownTag = PcmFormat(1, 8000, 8);
    zeroRate.nAvgBytesPerSec = 0;
    badAlign.nBlockAlign = 3;
    unknownTag.wFormatTag = 0x1234;
    const struct {
        WAVEFORMATEX format;
        UINT device;
        MMRESULT expected;
        // Wine repairs inconsistent block alignments and byte rates instead of refusing them.
        bool wineRepairs;
    } cases[] = {
        {PcmFormat(1, 8000, 8), WAVE_MAPPER, MMSYSERR_NOERROR, false},
        {PcmFormat(2, 48000, 8), WAVE_MAPPER, MMSYSERR_NOERROR, false},
        {PcmFormat(1, 22050, 16), WAVE_MAPPER, MMSYSERR_NOERROR, false},
        {PcmFormat(2, 44100, 16), 0, MMSYSERR_NOERROR, false},
        {zeroRate, WAVE_MAPPER, WAVERR_BADFORMAT, true},
        {badAlign, WAVE_MAPPER, WAVERR_BADFORMAT, true},
        {unknownTag, WAVE_MAPPER, WAVERR_BADFORMAT, false},
        {PcmFormat(1, 8000, 8), waveOutGetNumDevs(), MMSYSERR_BADDEVICEID, false},
    };
    WaveLog log;
    for (const auto &c : cases) {
        if (c.wineRepairs && RunningUnderWine()) continue;
        HWAVEOUT handle = reinterpret_cast<HWAVEOUT>(0x1234);
        EXPECT_EQ(waveOutOpen(&handle, c.device, &c.format, DWORD_PTR(WaveLog::Add<HWAVEOUT>), DWORD_PTR(&log),
                              CALLBACK_FUNCTION | WAVE_FORMAT_QUERY),
                  c.expected)
            << &c - cases;
        EXPECT_EQ(handle, reinterpret_cast<HWAVEOUT>(0x1234)) << &c - cases;
    }
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &cases[0].format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &cases[0].format, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
    EXPECT_EQ(log.Count(), 0);
}

TEST(WaveOutContract, BuffersComeBackInOrderOnceEachAndVolumesStayPerDevice) {
    OutputDevice out, other;
    ASSERT_EQ(out.Open(PcmFormat(2, 22050, 16)), MMSYSERR_NOERROR);
    ASSERT_EQ(out.log.Count(), 1);
    EXPECT_EQ(out.log.at[0].message, UINT(WOM_OPEN));
    EXPECT_EQ(out.log.at[0].thread, GetCurrentThreadId());
    ASSERT_EQ(other.Open(PcmFormat(2, 44100, 16)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutSetVolume(out.handle, 0x80004000), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutSetVolume(other.handle, 0xFFFF0000), MMSYSERR_NOERROR);
    DWORD volume = 0;
    EXPECT_EQ(waveOutGetVolume(out.handle, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x80004000u);
    EXPECT_EQ(waveOutGetVolume(other.handle, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0xFFFF0000u);
    EXPECT_EQ(waveOutGetVolume(out.handle, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutClose(other.handle), MMSYSERR_NOERROR);

    Buffers buffers(7, 8820);  // 100 ms each; the last stays unprepared
    // Paused, nothing can finish, so the queued state is stable enough to look at.
    ASSERT_EQ(waveOutPause(out.handle), MMSYSERR_NOERROR);
    out.Send(buffers, 0, 6);
    EXPECT_EQ(buffers[0].dwFlags, DWORD(WHDR_PREPARED | WHDR_INQUEUE));
    EXPECT_EQ(Queue(out.handle, buffers[0]), WAVERR_STILLPLAYING);
    // Wine closes a device with queued buffers and never hands them back.
    if (!RunningUnderWine()) {
        EXPECT_EQ(waveOutClose(out.handle), WAVERR_STILLPLAYING);
    }
    ASSERT_EQ(waveOutRestart(out.handle), MMSYSERR_NOERROR);

    ASSERT_TRUE(out.log.WaitFor(7, 10000));
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(out.log.at[i + 1].message, UINT(WOM_DONE));
        EXPECT_EQ(out.log.at[i + 1].header, &buffers[i]) << "buffer " << i;
        EXPECT_EQ(out.log.at[i + 1].flags, DWORD(WHDR_DONE | WHDR_PREPARED)) << "buffer " << i;
        EXPECT_NE(out.log.at[i + 1].thread, GetCurrentThreadId());
        EXPECT_EQ(Unprepare(out.handle, buffers[i]), MMSYSERR_NOERROR);
        EXPECT_EQ(buffers[i].dwFlags, DWORD(WHDR_DONE));
    }
    ASSERT_EQ(waveOutClose(out.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(out.log.Count(), 8);
    EXPECT_EQ(out.log.at[7].message, UINT(WOM_CLOSE));
    EXPECT_EQ(out.log.at[7].thread, GetCurrentThreadId());
    EXPECT_EQ(waveOutReset(out.handle), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutClose(out.handle), MMSYSERR_INVALHANDLE);
}

TEST(WaveOutContract, PauseHoldsRestartResumesResetReturnsEverything) {
    OutputDevice out;
    ASSERT_EQ(out.Open(PcmFormat(1, 8000, 8)), MMSYSERR_NOERROR);
    Buffers buffers(3, 2000);  // 250 ms each
    ASSERT_EQ(waveOutPause(out.handle), MMSYSERR_NOERROR);
    out.Send(buffers, 0, 3);
    Sleep(500);
    EXPECT_EQ(out.log.Count(), 1) << "a paused device finished a buffer";

    ASSERT_EQ(waveOutRestart(out.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(out.log.WaitFor(2, 5000)) << "restart did not resume";
    ASSERT_EQ(waveOutReset(out.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(out.log.Count(), 4) << "reset returned before handing every buffer back";
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(out.log.at[i + 1].header, &buffers[i]);
        EXPECT_EQ(buffers[i].dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
    }

    // The players pause and reset an open device, then write again without a restart.
    ASSERT_EQ(waveOutPause(out.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(out.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(Queue(out.handle, buffers[0]), MMSYSERR_NOERROR);
    ASSERT_TRUE(out.log.WaitFor(5, 5000)) << "a reset device stayed paused";
    EXPECT_EQ(waveOutClose(out.handle), MMSYSERR_NOERROR);
}

TEST(WaveOutContract, TwoSecondBufferTakesAboutTwoSeconds) {
    OutputDevice out;
    ASSERT_EQ(out.Open(PcmFormat(1, 8000, 16)), MMSYSERR_NOERROR);
    Buffers twoSeconds(1, 32000);
    const DWORD start = GetTickCount();
    out.Send(twoSeconds, 0, 1);
    ASSERT_TRUE(out.log.WaitFor(2, 10000));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 1700u);
    EXPECT_LE(elapsed, 5000u) << "a sound server may drain late";
    EXPECT_EQ(waveOutClose(out.handle), MMSYSERR_NOERROR);
}

TEST(WaveOutContract, DiskOutputHoldsThePcmWritten) {
    const char *path = DiskAudioFile("SDL_DISKAUDIOFILE");
    if (!path) GTEST_SKIP() << "needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILE)";
    const WAVEFORMATEX mono16 = PcmFormat(1, 8000, 16);
    const struct {
        WAVEFORMATEX format;
        // A device opened first and left idle: the output keeps its format.
        const WAVEFORMATEX *first;
        DWORD volume;
        // The output's sample width and silence; how far a converted sample may stray (0: exact).
        size_t width;
        BYTE silence;
        int tolerance;
        // The output sample for one caller sample at `in` and its channel.
        int (*expect)(const char *in, size_t channel);
    } cases[] = {
        {PcmFormat(1, 8000, 8), nullptr, 0xFFFFFFFF, 1, 0x80, 0, [](const char *in, size_t) { return int(BYTE(*in)); }},
        {PcmFormat(2, 44100, 16), nullptr, 0xFFFFFFFF, 2, 0, 0,
         [](const char *in, size_t) { return int(int16_t(BYTE(in[0]) | BYTE(in[1]) << 8)); }},
        {PcmFormat(2, 22050, 16), nullptr, 0x4000FFFF, 2, 0, 0,
         [](const char *in, size_t channel) {
             const int sample = int16_t(BYTE(in[0]) | BYTE(in[1]) << 8);
             return channel == 1 ? sample * 0x4000 / 0xFFFF : sample;
         }},
        {PcmFormat(1, 8000, 8), &mono16, 0xFFFFFFFF, 2, 0, 1,
         [](const char *in, size_t) { return (BYTE(*in) - 128) * 256; }},
    };
    for (const auto &c : cases) {
        OutputDevice first, out;
        if (c.first) {
            ASSERT_EQ(first.Open(*c.first), MMSYSERR_NOERROR);
        }
        ASSERT_EQ(out.Open(c.format), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutSetVolume(out.handle, c.volume), MMSYSERR_NOERROR);
        const size_t sampleBytes = c.format.wBitsPerSample / 8;
        const size_t bytes = c.format.nAvgBytesPerSec / 10 / c.format.nBlockAlign * c.format.nBlockAlign;
        Buffers buffers(3, bytes);  // 100 ms each
        std::vector<char> pattern;
        for (size_t i = 0; i < 3 * bytes; ++i)
            pattern.push_back(buffers.data[i / bytes][i % bytes] = char(1 + i * 37 % 251));
        ASSERT_EQ(waveOutPause(out.handle), MMSYSERR_NOERROR);
        out.Send(buffers, 0, 3);
        ASSERT_EQ(waveOutRestart(out.handle), MMSYSERR_NOERROR);
        ASSERT_TRUE(out.log.WaitFor(4, 10000));
        ASSERT_EQ(waveOutClose(out.handle), MMSYSERR_NOERROR);
        if (c.first) {
            ASSERT_EQ(waveOutClose(first.handle), MMSYSERR_NOERROR);
        }

        // Silence, then the PCM whole and without a gap, then silence.
        const std::vector<BYTE> written = ReadBytes(path);
        auto sampleAt = [&](size_t at) {
            return c.width == 1 ? int(BYTE(written[at])) : int(int16_t(BYTE(written[at]) | BYTE(written[at + 1]) << 8));
        };
        size_t start = 0;
        while (start < written.size() && sampleAt(start) == c.silence) start += c.width;
        const size_t samples = pattern.size() / sampleBytes;
        ASSERT_GE(written.size(), start + samples * c.width) << &c - cases;
        for (size_t i = 0; i < samples; ++i) {
            const int want = c.expect(&pattern[i * sampleBytes], i % c.format.nChannels);
            ASSERT_LE(std::abs(sampleAt(start + i * c.width) - want), c.tolerance) << &c - cases << ", sample " << i;
        }
        EXPECT_EQ(size_t(std::count(written.begin() + long(start + samples * c.width), written.end(), c.silence)),
                  written.size() - start - samples * c.width)
            << &c - cases << ": sound after the PCM";
    }
}

}  // namespace
