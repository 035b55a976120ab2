// Sound devices that fail under a playing or recording instance. On SDL's disk driver a device file
// that cannot be created makes the open fail, and a full one (/dev/full) or a file-size limit makes
// SDL drop the device when a write fails: each ends a playback in one event 6 and no end event, and
// the same instance then plays on a good device. On SDL's pulseaudio driver, a sound server that dies under
// a capture ends it in one event 6 after the PCM recorded so far.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <signal.h>
#include <sys/resource.h>

#include "HostHarness.h"
#include "PlaybackHost.h"

namespace {

const char *const kCannotOpen = "/nonexistent/device.raw";
const char *const kVanishes = "/dev/full";

// Writes past `bytes` fail (EFBIG, the signal ignored) while it lasts.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limited = m_old;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old;
};

bool OnDiskDriver() {
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    return driver && std::string(driver) == "disk" && std::getenv("SDL_DISKAUDIOFILE");
}

class DeviceFailure : public PlaybackTest {
protected:
    void SetUp() override {
        if (!OnDiskDriver()) GTEST_SKIP() << "needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILE)";
        PlaybackTest::SetUp();
    }
};

TEST_F(DeviceFailure, PlaybackEndsInOneFailureAndThenPlaysOnAGoodDevice) {
    // Short enough for direct WAV mode to write all of it within the play command, before the
    // device starts: only the buffers coming back unplayed tell of the loss.
    const Medium blip = NoiseWave(2, 44100, 16, 300);
    const std::string good = std::getenv("SDL_DISKAUDIOFILE");
    const struct {
        const Medium &medium;
        Source source;
        uint32_t mode;
        const char *device;
        rlim_t sizeLimit;  // 0: none
    } rows[] = {
        {MediumNamed("tone.wma"), Source::File, BRIVANE_MODE_DECODE, kCannotOpen, 0},
        {MediumNamed("tone.wav"), Source::Memory, BRIVANE_MODE_WAVE, kCannotOpen, 0},
        {MediumNamed("long.wav"), Source::File, BRIVANE_MODE_DECODE, kVanishes, 0},
        {MediumNamed("long.wav"), Source::File, BRIVANE_MODE_WAVE, kVanishes, 0},
        {blip, Source::Memory, BRIVANE_MODE_WAVE, good.c_str(), 16384},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.medium.name + " mode " + std::to_string(row.mode) + " on " + row.device +
                     (row.sizeLimit ? " limited" : ""));
        const Medium &medium = row.medium;
        const uint32_t handle = host.Open(medium, row.source, row.mode);
        ASSERT_NE(0u, handle);
        // SDL's disk driver writes to the file named when a device opens.
        setenv("SDL_DISKAUDIOFILE", row.device, 1);
        {
            std::unique_ptr<FileSizeLimit> limit(row.sizeLimit ? new FileSizeLimit(row.sizeLimit) : nullptr);
            const bool finished = AudioOutPlay(handle, 0) == 1 && host.WaitForFinish(handle, Patience(medium));
            host.Fence();
            setenv("SDL_DISKAUDIOFILE", good.c_str(), 1);
            ASSERT_TRUE(finished);
        }
        // Let a wrongly raised end show up.
        std::this_thread::sleep_for(milliseconds(300));
        const std::vector<Delivery> failed = host.Of(handle);
        EXPECT_EQ(1u, Count(failed, BRIVANE_EVENT_COMMAND_FAILED)) << Sequence(failed);
        EXPECT_EQ(0u, Count(failed, BRIVANE_EVENT_END)) << Sequence(failed);

        ASSERT_EQ(1u, AudioOutPlay(handle, 0));
        ASSERT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, Patience(medium)));
        const std::vector<Delivery> again = host.Of(handle);
        const std::vector<Delivery> replay(again.begin() + long(failed.size()), again.end());
        EXPECT_EQ(0u, Count(replay, BRIVANE_EVENT_COMMAND_FAILED)) << Sequence(replay);
        EXPECT_EQ(medium.pcm.size(), Data(replay).size()) << Sequence(replay);
        AudioOutClose(handle);
    }
}

// The test scripts start a sound server of its own for this test and name it in BRIVANE_TEST_PULSE_PID.
TEST(DeviceLoss, CaptureWhoseServerDiesEndsInOneFailure) {
    const char *server = std::getenv("BRIVANE_TEST_PULSE_PID");
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    if (!server || !driver || std::string(driver) != "pulseaudio")
        GTEST_SKIP() << "needs SDL's pulseaudio driver and a server to kill (BRIVANE_TEST_PULSE_PID)";
    ASSERT_EQ(1u, InitBrivane());
    HostLog failures;
    const uint32_t listener = OpenMissing(failures);
    static std::atomic<int> raw{0};
    const AudioInCallback countRaw = [](uint32_t, BRIVANE_USER, uint32_t code, uint32_t arg1, uint32_t, const void *,
                                        uint32_t) {
        if (code == BRIVANE_REC_EVENT_DATA && arg1 == 1) ++raw;
    };
    const std::u16string profile = SpeechProfile();
    const BrivaneWaveFormat mono = {1, 1, 16000, 32000, 2, 16, 0};
    const uint32_t handle = AudioInOpen(1, &mono, profile.c_str(), countRaw, 0);
    ASSERT_NE(0u, handle);
    ASSERT_EQ(1u, AudioInStart(handle, 0));
    WaitUntil([] { return raw >= 4; }, 5000);
    ASSERT_GE(raw.load(), 4) << "nothing recorded";
    ASSERT_EQ(0, kill(std::atoi(server), SIGKILL));
    EXPECT_TRUE(failures.WaitForEvent(handle, BRIVANE_EVENT_COMMAND_FAILED))
        << "the capture went on as if nothing happened";
    const int recorded = raw;
    // The lost device gives its buffers back: stop and close succeed and free them.
    AudioInStop(handle);
    AudioInClose(handle);
    // No server, no device: a new capture fails cleanly.
    const uint32_t next = AudioInOpen(1, &mono, profile.c_str(), countRaw, 0);
    EXPECT_TRUE(failures.WaitForEvent(next, BRIVANE_EVENT_COMMAND_FAILED));
    AudioInClose(next);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(1u, failures.Count(handle)) << "stop or close of the lost capture failed";
    EXPECT_EQ(recorded, raw.load()) << "PCM after the failure";
    AudioOutClose(listener);
    UnInitBrivane();
}

}  // namespace
