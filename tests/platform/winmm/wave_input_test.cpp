// Wave input as the recorder uses it: device capabilities, full buffers handed back in order and
// queued again from the callback, and stop and reset returning what is queued.
#include "wave_support.h"

namespace {

static_assert(sizeof(WAVEINCAPSA) == 48, "WAVEINCAPSA keeps the SDK's layout");

TEST(WaveInContract, CapabilitiesListTheStandardFormatsAndFullBuffersComeBackInOrder) {
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
