// The wave devices as the players and the recorder use them, output and input, and on SDL's disk driver the PCM itself.
#include <string>

#include "wave_support.h"

namespace {

TEST(WaveOutContract, BuffersComeBackInOrderOnceEachPausedOrResetAndVolumesStayPerDevice) {
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
    EXPECT_EQ(waveOutClose(other.handle), MMSYSERR_NOERROR);

    Buffers buffers(7, 22050);  // 250 ms each; the last stays unprepared
    // Paused, nothing can finish, so the queued state is stable enough to look at.
    ASSERT_EQ(waveOutPause(out.handle), MMSYSERR_NOERROR);
    out.Send(buffers, 0, 6);
    EXPECT_EQ(buffers[0].dwFlags, DWORD(WHDR_PREPARED | WHDR_INQUEUE));
    Sleep(300);
    EXPECT_EQ(out.log.Count(), 1) << "a paused device finished a buffer";
    EXPECT_EQ(Queue(out.handle, buffers[0]), WAVERR_STILLPLAYING);
    // Wine closes a device with queued buffers and never hands them back.
    if (!RunningUnderWine()) {
        EXPECT_EQ(waveOutClose(out.handle), WAVERR_STILLPLAYING);
    }
    const DWORD start = GetTickCount();
    ASSERT_EQ(waveOutRestart(out.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(out.log.WaitFor(7, 10000));
    // In real time: 1.5 s of sound takes about 1.5 s, a little less for what the device takes ahead.
    EXPECT_GE(GetTickCount() - start, 1200u);
    EXPECT_LE(GetTickCount() - start, 5000u) << "a sound server may drain late";
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(out.log.at[i + 1].message, UINT(WOM_DONE));
        EXPECT_EQ(out.log.at[i + 1].header, &buffers[i]) << "buffer " << i;
        EXPECT_EQ(out.log.at[i + 1].flags, DWORD(WHDR_DONE | WHDR_PREPARED)) << "buffer " << i;
        EXPECT_NE(out.log.at[i + 1].thread, GetCurrentThreadId());
        EXPECT_EQ(Unprepare(out.handle, buffers[i]), MMSYSERR_NOERROR);
        EXPECT_EQ(buffers[i].dwFlags, DWORD(WHDR_DONE));
    }

    // Reset while playing hands every buffer back first; then the players pause, reset and write without a restart.
    out.Send(buffers, 0, 3);
    ASSERT_TRUE(out.log.WaitFor(8, 5000));
    ASSERT_EQ(waveOutReset(out.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(out.log.Count(), 10) << "reset returned before handing every buffer back";
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(out.log.at[i + 7].header, &buffers[i]);
        EXPECT_EQ(buffers[i].dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
    }
    ASSERT_EQ(waveOutPause(out.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(out.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(Queue(out.handle, buffers[0]), MMSYSERR_NOERROR);
    ASSERT_TRUE(out.log.WaitFor(11, 5000)) << "a reset device stayed paused";
    ASSERT_EQ(waveOutClose(out.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(out.log.Count(), 12);
    EXPECT_EQ(out.log.at[11].message, UINT(WOM_CLOSE));
    EXPECT_EQ(out.log.at[11].thread, GetCurrentThreadId());
}

// 8-bit PCM arrives whole and gapless, as is or converted for a 16-bit device; an uncreatable file fails the open.
TEST(WaveOutContract, DiskOutputHoldsThePcmWrittenOrFailsToOpen) {
    const char *path = DiskAudioFile("SDL_DISKAUDIOFILE"), *inPath = DiskAudioFile("SDL_DISKAUDIOFILEIN");
    if (!path || !inPath)
        GTEST_SKIP() << "needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILE, SDL_DISKAUDIOFILEIN)";
    const WAVEFORMATEX format = PcmFormat(1, 8000, 8);
    const std::string outFile = path, inFile = inPath;
    SetDiskAudioFile("SDL_DISKAUDIOFILE", "/nonexistent/out.raw");
    SetDiskAudioFile("SDL_DISKAUDIOFILEIN", "/nonexistent/in.raw");
    OutputDevice cannot;
    InputDevice cannotIn;
    EXPECT_EQ(cannot.Open(format), MMSYSERR_ALLOCATED);
    EXPECT_EQ(cannotIn.Open(format), MMSYSERR_ALLOCATED);
    SetDiskAudioFile("SDL_DISKAUDIOFILE", outFile.c_str());
    SetDiskAudioFile("SDL_DISKAUDIOFILEIN", inFile.c_str());
    EXPECT_TRUE(cannot.handle == nullptr && cannotIn.handle == nullptr);
    EXPECT_EQ(cannot.log.Count() + cannotIn.log.Count(), 0) << "a device that failed to open sent a message";
    for (const bool converted : {false, true}) {
        SCOPED_TRACE(converted ? "converted" : "as it is");
        OutputDevice first, out;
        if (converted) {
            ASSERT_EQ(first.Open(PcmFormat(1, 8000, 16)), MMSYSERR_NOERROR);
        }
        ASSERT_EQ(out.Open(format), MMSYSERR_NOERROR);
        Buffers buffers(3, 800);  // 100 ms each
        Bytes pattern;
        for (size_t i = 0; i < 3 * 800; ++i)
            pattern.push_back(BYTE(buffers.data[i / 800][i % 800] = char(1 + i * 37 % 251)));
        ASSERT_EQ(waveOutPause(out.handle), MMSYSERR_NOERROR);
        out.Send(buffers, 0, 3);
        ASSERT_EQ(waveOutRestart(out.handle), MMSYSERR_NOERROR);
        ASSERT_TRUE(out.log.WaitFor(4, 10000));
        ASSERT_EQ(waveOutClose(out.handle), MMSYSERR_NOERROR);
        if (converted) {
            ASSERT_EQ(waveOutClose(first.handle), MMSYSERR_NOERROR);
        }

        const Bytes written = ReadBytes(outFile);
        const size_t width = converted ? 2 : 1;
        const int silence = converted ? 0 : 0x80;
        auto sampleAt = [&](size_t at) {
            return width == 1 ? int(written[at]) : int(int16_t(written[at] | written[at + 1] << 8));
        };
        size_t start = 0;
        while (start < written.size() && sampleAt(start) == silence) start += width;
        const size_t end = start + pattern.size() * width;
        ASSERT_GE(written.size(), end);
        for (size_t i = 0; i < pattern.size(); ++i) {
            const int want = converted ? (pattern[i] - 128) * 256 : pattern[i];
            ASSERT_LE(std::abs(sampleAt(start + i * width) - want), converted ? 1 : 0) << "sample " << i;
        }
        for (size_t at = end; at < written.size(); at += width)
            ASSERT_EQ(sampleAt(at), silence) << "sound after the PCM";
    }
}

TEST(WaveInContract, CapabilitiesListTheStandardFormatsAndFullBuffersComeBackInOrder) {
    const UINT devices = waveInGetNumDevs();
    if (devices == 0) GTEST_SKIP() << "no capture device";
    for (UINT id = 0; id < devices; ++id) {
        WAVEINCAPSA caps;
        ASSERT_EQ(waveInGetDevCapsA(id, &caps, sizeof(caps)), MMSYSERR_NOERROR);
        // 8 and 16 bits, mono and stereo, at 11025, 22050 and 44100 Hz.
        EXPECT_EQ(caps.dwFormats & 0xFFF, 0xFFFu) << "device " << id;
    }

    // Full buffers come back in order and can be queued again from the callback.
    InputDevice in;
    ASSERT_EQ(in.Open(PcmFormat(1, 8000, 16)), MMSYSERR_NOERROR);
    ASSERT_EQ(in.log.Count(), 1);
    EXPECT_EQ(in.log.at[0].message, UINT(WIM_OPEN));
    in.log.requeueTo = in.handle;
    Buffers buffers(4, 800);  // 50 ms each
    in.Send(buffers, 0, 4);
    // Wine closes a device with queued buffers and never hands them back.
    if (!RunningUnderWine()) {
        EXPECT_EQ(waveInClose(in.handle), WAVERR_STILLPLAYING);
    }

    ASSERT_EQ(waveInStart(in.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(in.log.WaitFor(11, 10000));
    for (int i = 1; i < 11; ++i) {
        const WaveLog::Entry &e = in.log.at[i];
        EXPECT_EQ(e.message, UINT(WIM_DATA));
        EXPECT_EQ(e.header, &buffers[size_t(i - 1) % 4]) << "buffer " << i;
        EXPECT_EQ(e.bytes, 800u) << "buffer " << i;
        EXPECT_EQ(e.flags, DWORD(WHDR_DONE | WHDR_PREPARED)) << "buffer " << i;
        EXPECT_NE(e.thread, GetCurrentThreadId());
    }
    // Stop and reset: every buffer must be back, no longer queued, before the device closes.
    in.log.StopRequeue();
    EXPECT_EQ(waveInStop(in.handle), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInReset(in.handle), MMSYSERR_NOERROR);
    for (WAVEHDR &header : buffers.headers) {
        EXPECT_EQ(header.dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
        EXPECT_EQ(Unprepare(in.handle, header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInClose(in.handle), MMSYSERR_NOERROR);
    EXPECT_EQ(in.log.at[in.log.Count() - 1].message, UINT(WIM_CLOSE));
}

}  // namespace
