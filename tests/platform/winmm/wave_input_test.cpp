// Wave input as the recorder uses it: device capabilities, full buffers handed back in order and
// queued again from the callback, stop and reset returning what is queued, and (on SDL's disk
// driver) the recorded bytes themselves.
#include <gtest/gtest.h>

#include "wave_support.h"

namespace {

static_assert(sizeof(WAVEINCAPSA) == 48, "WAVEINCAPSA keeps the SDK's layout");

struct InputDevice {
    WaveLog log;
    HWAVEIN handle = nullptr;

    MMRESULT Open(const WAVEFORMATEX &format) {
        return waveInOpen(&handle, WAVE_MAPPER, &format, DWORD_PTR(LogWaveIn), DWORD_PTR(&log), CALLBACK_FUNCTION);
    }
    void Queue(Buffers &buffers) {
        for (WAVEHDR &header : buffers.headers) {
            ASSERT_EQ(waveInPrepareHeader(handle, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            ASSERT_EQ(waveInAddBuffer(handle, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
    }
    // Stops and resets: every buffer must be back, no longer queued, before the device closes.
    void Finish(Buffers &buffers) {
        log.StopRequeue();
        EXPECT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
        for (WAVEHDR &header : buffers.headers) {
            EXPECT_EQ(header.dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
            EXPECT_EQ(waveInUnprepareHeader(handle, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
        EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    }
};

TEST(WaveInContract, CapabilitiesListTheStandardFormats) {
    const UINT devices = waveInGetNumDevs();
    if (devices == 0) GTEST_SKIP() << "no capture device";
    for (UINT id = 0; id < devices; ++id) {
        WAVEINCAPSA caps;
        std::memset(&caps, 0xCC, sizeof(caps));
        ASSERT_EQ(waveInGetDevCapsA(id, &caps, sizeof(caps)), MMSYSERR_NOERROR);
        EXPECT_NE(std::memchr(caps.szPname, 0, sizeof(caps.szPname)), nullptr) << "device " << id;
        // 8 and 16 bits, mono and stereo, at 11025, 22050 and 44100 Hz.
        EXPECT_EQ(caps.dwFormats & 0xFFF, 0xFFFu) << "device " << id;
    }
    WAVEINCAPSA caps;
    EXPECT_EQ(waveInGetDevCapsA(devices, &caps, sizeof(caps)), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInGetDevCapsA(0, nullptr, sizeof(caps)), MMSYSERR_INVALPARAM);
}

TEST(WaveInContract, FullBuffersComeBackInOrderAndCanBeQueuedAgainFromTheCallback) {
    if (waveInGetNumDevs() == 0) GTEST_SKIP() << "no capture device";
    InputDevice in;
    ASSERT_EQ(in.Open(PcmFormat(1, 8000, 16)), MMSYSERR_NOERROR);
    ASSERT_EQ(in.log.Count(), 1);
    EXPECT_EQ(in.log.messages[0], UINT(WIM_OPEN));
    in.log.requeueTo = in.handle;
    Buffers buffers(4, 800);  // 50 ms each
    WAVEHDR unprepared = buffers[0];
    EXPECT_EQ(waveInAddBuffer(in.handle, &unprepared, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    in.Queue(buffers);
    // Wine closes a device with queued buffers and never hands them back.
    if (!RunningUnderWine()) {
        EXPECT_EQ(waveInClose(in.handle), WAVERR_STILLPLAYING);
    }

    ASSERT_EQ(waveInStart(in.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(in.log.WaitFor(11, 10000));
    for (int i = 1; i < 11; ++i) {
        EXPECT_EQ(in.log.messages[i], UINT(WIM_DATA));
        EXPECT_EQ(in.log.headers[i], &buffers[size_t(i - 1) % 4]) << "buffer " << i;
        EXPECT_EQ(in.log.bytes[i], 800u) << "buffer " << i;
        EXPECT_EQ(in.log.flags[i], DWORD(WHDR_DONE | WHDR_PREPARED)) << "buffer " << i;
        EXPECT_NE(in.log.threads[i], GetCurrentThreadId());
    }
    in.Finish(buffers);
    EXPECT_EQ(in.log.messages[in.log.Count() - 1], UINT(WIM_CLOSE));
}

TEST(WaveInContract, DiskInputArrivesInOrderInFullBuffers) {
    const char *path = DiskAudioFile("SDL_DISKAUDIOFILEIN");
    if (!path) GTEST_SKIP() << "needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILEIN)";
    std::vector<char> recorded(3 * 882 + 100);
    for (size_t i = 0; i < recorded.size(); ++i) recorded[i] = char(i * 13 + 7);
    FILE *file = std::fopen(path, "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite(recorded.data(), 1, recorded.size(), file), recorded.size());
    std::fclose(file);

    InputDevice in;
    ASSERT_EQ(in.Open(PcmFormat(1, 22050, 8)), MMSYSERR_NOERROR);
    Buffers buffers(3, 882);  // 40 ms each
    in.Queue(buffers);
    ASSERT_EQ(waveInStart(in.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(in.log.WaitFor(4, 10000));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(in.log.headers[i + 1], &buffers[i]);
        EXPECT_EQ(in.log.bytes[i + 1], 882u);
        EXPECT_TRUE(std::equal(buffers.data[i].begin(), buffers.data[i].end(), recorded.begin() + long(i * 882)))
            << "buffer " << i;
    }
    in.Finish(buffers);
}

}  // namespace
