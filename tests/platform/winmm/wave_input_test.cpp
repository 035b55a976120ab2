// Wave input as the recorder uses it: device capabilities, full buffers handed back in order and
// queued again from the callback, stop and reset returning what is queued, and (on SDL's disk
// driver) the recorded bytes themselves.
#include "wave_support.h"

namespace {

static_assert(sizeof(WAVEINCAPSA) == 48, "WAVEINCAPSA keeps the SDK's layout");

// Stops and resets: every buffer must be back, no longer queued, before the device closes.
void Finish(InputDevice &in, Buffers &buffers) {
    in.log.StopRequeue();
    EXPECT_EQ(waveInStop(in.handle), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInReset(in.handle), MMSYSERR_NOERROR);
    for (WAVEHDR &header : buffers.headers) {
        EXPECT_EQ(header.dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
        EXPECT_EQ(Unprepare(in.handle, header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInClose(in.handle), MMSYSERR_NOERROR);
}

TEST(WaveInContract, CapabilitiesListTheStandardFormats) {
    const UINT devices = waveInGetNumDevs();
    if (devices == 0) GTEST_SKIP() << "no capture device";
    WAVEINCAPSA caps;
    for (UINT id = 0; id < devices; ++id) {
        std::memset(&caps, 0xCC, sizeof(caps));
        ASSERT_EQ(waveInGetDevCapsA(id, &caps, sizeof(caps)), MMSYSERR_NOERROR);
        EXPECT_NE(std::memchr(caps.szPname, 0, sizeof(caps.szPname)), nullptr) << "device " << id;
        // 8 and 16 bits, mono and stereo, at 11025, 22050 and 44100 Hz.
        EXPECT_EQ(caps.dwFormats & 0xFFF, 0xFFFu) << "device " << id;
    }
    EXPECT_EQ(waveInGetDevCapsA(devices, &caps, sizeof(caps)), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInGetDevCapsA(0, nullptr, sizeof(caps)), MMSYSERR_INVALPARAM);
}

TEST(WaveInContract, FullBuffersComeBackInOrderAndCanBeQueuedAgainFromTheCallback) {
    if (waveInGetNumDevs() == 0) GTEST_SKIP() << "no capture device";
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
    Finish(in, buffers);
    EXPECT_EQ(in.log.at[in.log.Count() - 1].message, UINT(WIM_CLOSE));
}

TEST(WaveInContract, DiskInputArrivesInOrderInFullBuffers) {
    const char *path = DiskAudioFile("SDL_DISKAUDIOFILEIN");
    if (!path) GTEST_SKIP() << "needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILEIN)";
    Bytes recorded(3 * 882 + 100);
    for (size_t i = 0; i < recorded.size(); ++i) recorded[i] = BYTE(i * 13 + 7);
    ASSERT_TRUE(WriteBytes(path, recorded)) << path;

    InputDevice in;
    ASSERT_EQ(in.Open(PcmFormat(1, 22050, 8)), MMSYSERR_NOERROR);
    Buffers buffers(3, 882);  // 40 ms each
    in.Send(buffers, 0, 3);
    ASSERT_EQ(waveInStart(in.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(in.log.WaitFor(4, 10000));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(in.log.at[i + 1].header, &buffers[i]);
        EXPECT_EQ(in.log.at[i + 1].bytes, 882u);
        EXPECT_TRUE(std::equal(buffers.data[i].begin(), buffers.data[i].end(), recorded.begin() + long(i * 882),
                               [](char a, BYTE b) { return BYTE(a) == b; }))
            << "buffer " << i;
    }
    Finish(in, buffers);
}

}  // namespace
