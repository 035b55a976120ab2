// The wave-input recorder: device choice by format, 50 ms buffers, refused opens and starts, stop.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "WaveTestSupport.h"
#include "capture/Recorder.h"

namespace {

// Device enumeration double: a failed query's mask has every bit set, so trusting a failed query would pick its device.
const DWORD kQueryFails = 0xFFFFFFFF;
std::vector<DWORD> g_devices;
UINT DeviceCount() { return static_cast<UINT>(g_devices.size()); }
MMRESULT DeviceCaps(UINT device, WAVEINCAPSA *caps) {
    caps->dwFormats = g_devices[device];
    return g_devices[device] == kQueryFails ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
}

TEST(RecorderDevices, TheFirstDeviceWithABitOfTheFormatMaskIsChosen) {
    const int kNone = -1;
    struct Case {
        const char *what;
        WAVEFORMATEX format;
        std::vector<DWORD> devices;
        int expected;
    } cases[] = {
        {"44.1 kHz 16-bit stereo skips a mono-only device", PcmFormat(2, 44100, 16), {0x400, 0x800}, 1},
        {"48 kHz asks for 44.1 kHz 16-bit mono", PcmFormat(1, 48000, 16), {0x800, 0x400}, 1},
        {"11.025 kHz 8-bit mono", PcmFormat(1, 11025, 8), {0x2, 0x1}, 1},
        {"22.05 kHz 16-bit mono", PcmFormat(1, 22050, 16), {0x40}, 0},
        {"24-bit counts as 8-bit", PcmFormat(2, 22050, 24), {0x80, 0x20}, 1},
        {"six channels count as mono", PcmFormat(6, 44100, 16), {0x800, 0x400}, 1},
        {"a device whose query fails is passed over", PcmFormat(1, 44100, 16), {kQueryFails, 0x400}, 1},
        {"no device records the format", PcmFormat(2, 44100, 16), {0x400, 0x1}, kNone},
        {"no devices at all", PcmFormat(1, 16000, 16), {}, kNone},
    };
    const WaveInDeviceList devices = {&DeviceCount, &DeviceCaps};
    for (const Case &c : cases) {
        g_devices = c.devices;
        UINT device = 77;
        const BOOL found = CRecorder::ChooseDevice(c.format, devices, &device);
        EXPECT_EQ(c.expected, found ? int(device) : kNone) << c.what;
    }
}

// The size of each buffer delivered.
struct DataLog {
    std::mutex lock;
    std::vector<DWORD> sizes;

    static LONG WINAPI OnData(void *context, DWORD, const BYTE *, DWORD size) {
        DataLog *log = static_cast<DataLog *>(context);
        std::lock_guard<std::mutex> guard(log->lock);
        log->sizes.push_back(size);
        return 0;
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(lock);
        return sizes.size();
    }
};

TEST(Recorder, RefusesWhatItCannotDoAndFillsFiftyMillisecondBuffersUntilStopped) {
    DataLog log;
    CRecorder recorder;
    recorder.SetCallback(&DataLog::OnData, &log);
    EXPECT_TRUE(recorder.Stop()) << "stop before any open";
    ASSERT_TRUE(recorder.Open(PcmFormat(2, 48000, 16))) << "48 kHz opens the device chosen for 44.1 kHz";
    EXPECT_EQ(48000u, recorder.Format().nSamplesPerSec);
    EXPECT_FALSE(recorder.Open(PcmFormat(1, 16000, 16))) << "a second open of an open recorder";
    EXPECT_TRUE(recorder.Stop()) << "stop of an open recorder that never started";

    ASSERT_TRUE(recorder.RecordStart()) << recorder.LastError();
    EXPECT_FALSE(recorder.RecordStart()) << "a second start while the device holds the buffers";
    for (int waited = 0; log.Count() < 3 && waited < 5000; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(log.Count(), 3u);
    ASSERT_TRUE(recorder.Stop()) << recorder.LastError();
    const size_t atStop = log.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(atStop, log.Count()) << "nothing arrives after Stop";
    for (size_t i = 0; i < atStop; ++i) {
        // Only the buffer being filled may come back part-full at Stop; empty ones are never delivered.
        if (i + 1 < atStop)
            EXPECT_EQ(9600u, log.sizes[i]) << "buffer " << i;
        else
            EXPECT_GT(log.sizes[i], 0u);
    }
    EXPECT_TRUE(recorder.Close());
}

}  // namespace
