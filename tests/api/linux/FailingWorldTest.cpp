// Files and devices failing under the library end in its defined failure, earlier deliveries intact, and it goes on.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <utility>

#include "PcmLog.h"
#include "PlaybackHost.h"

namespace {

enum Fault { kHalf, kEmpty, kDelete };
const char *const kFaultNames[] = {"cut to half", "cut to nothing", "deleted"};

void Apply(Fault fault, const std::string &path) {
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    const off_t size = fault == kHalf ? info.st_size / 2 : 0;
    ASSERT_EQ(fault == kDelete ? unlink(path.c_str()) : truncate(path.c_str(), size), 0);
}

// Writes past `bytes` fail (EFBIG, the signal ignored) while it lasts; 0 leaves the limit as it was.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit limited = {bytes ? bytes : m_old.rlim_cur, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old;
};

using FileFailureTest = PlaybackTest;

// Six seconds, so the player has read only part of the file when the fault comes; each fault plays its own file.
TEST_F(FileFailureTest, APlayingFileCutShortFailsAfterTheDataItHadAndADeletedOnePlaysToTheEnd) {
    const Medium noise = NoiseWave(2, 44100, 16, 6000);
    struct Run {
        Fault fault;
        std::string name, path;
        uint32_t handle;
    };
    std::vector<Run> runs;
    for (const uint32_t mode : {BRIVANE_MODE_DECODE, BRIVANE_MODE_WAVE}) {
        for (const Fault fault : {kHalf, kEmpty, kDelete}) {
            const std::string path = WriteTemp("playing-" + std::to_string(runs.size()) + ".wav", noise.image);
            const uint32_t handle =
                AudioOutFileOpen(mode, Path(path.c_str()).c_str(), &PlaybackHost::OnEvent, host.User());
            AudioOutPlay(handle, 0);
            runs.push_back({fault, std::string(kFaultNames[fault]) + ", mode " + std::to_string(mode), path, handle});
        }
    }
    for (const Run &run : runs) {
        ASSERT_TRUE(host.WaitForCode(run.handle, BRIVANE_EVENT_DATA, Patience(noise))) << run.name;
        Apply(run.fault, run.path);
    }
    for (const Run &run : runs) {
        SCOPED_TRACE(run.name);
        EXPECT_TRUE(host.WaitForCode(run.handle, BRIVANE_EVENT_END, Patience(noise)));
        const std::vector<Delivery> events = host.Of(run.handle);
        EXPECT_EQ(Count(events, BRIVANE_EVENT_COMMAND_FAILED) > 0, run.fault != kDelete) << Sequence(events);
        const std::vector<char> data = Data(events);
        EXPECT_TRUE(IsPrefix(data, noise.pcm)) << data.size() << " bytes";
        EXPECT_EQ(data.size() == noise.pcm.size(), run.fault == kDelete) << data.size() << " bytes";
        AudioOutClose(run.handle);
    }
    // The library still plays.
    const Medium &tone = MediumNamed("tone.wav");
    const uint32_t handle = host.Start(tone, Source::Memory, BRIVANE_MODE_WAVE);
    EXPECT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, Patience(tone)));
    EXPECT_EQ(Data(host.Of(handle)), tone.pcm);
}

// GetAudioPCM decodes on the caller's thread, so its fault comes from a callback; Convert's once its output holds PCM.
TEST_F(FileFailureTest, ADecodeOrConversionOfAFileCutShortFailsAndLeavesNoOutput) {
    const Medium &minutes = MediumNamed("minutes.wma");
    PcmLog whole;
    ASSERT_EQ(GetAudioPCM(BRIVANE_KIND_AUDIO, minutes.path.c_str(), 0, 0, &PcmLog::OnPcm, whole.User(), nullptr), 1u);
    for (const Fault fault : {kHalf, kEmpty, kDelete}) {
        SCOPED_TRACE(kFaultNames[fault]);
        const std::string path = WriteTemp("decoding.wma", minutes.image);
        PcmLog run;
        bool cut = false;
        run.onData = [&](const PcmLog &) {
            if (!std::exchange(cut, true)) Apply(fault, path);
        };
        const uint32_t decoded =
            GetAudioPCM(BRIVANE_KIND_AUDIO, path.c_str(), 0, 0, &PcmLog::OnPcm, run.User(), nullptr);
        EXPECT_EQ(decoded, fault == kDelete ? 1u : 0u);
        EXPECT_EQ(0, whole.pcm.compare(0, run.pcm.size(), run.pcm))
            << run.pcm.size() << " of " << whole.pcm.size() << " bytes";
        EXPECT_EQ(run.pcm.size() == whole.pcm.size(), fault == kDelete) << run.pcm.size() << " bytes";

        const std::string source = WriteTemp("converting.wma", minutes.image);
        const std::string target = testing::TempDir() + "converted.wav";
        std::atomic<bool> done(false), applied(false);
        std::thread cutter([&] {
            struct stat info;
            while (!done && (stat(target.c_str(), &info) != 0 || info.st_size <= 44)) std::this_thread::yield();
            if (done) return;
            Apply(fault, source);
            applied = true;
        });
        const uint32_t converted = Convert(BRIVANE_KIND_WAV, target.c_str(), BRIVANE_KIND_WMA, source.c_str(), nullptr);
        done = true;
        cutter.join();
        // A machine too busy to run the fault before the conversion ended has nothing to show.
        if (applied) {
            EXPECT_EQ(converted, fault == kDelete ? 1u : 0u);
            EXPECT_EQ(access(target.c_str(), F_OK) == 0, fault == kDelete);
        }
        unlink(target.c_str());
    }
}

// Limit 0 links the output to /dev/full; no output may remain, as a partial file could pass for a finished one.
TEST_F(FileFailureTest, AFullDiskOrAFileSizeLimitFailsTheConversionAndLeavesNoOutput) {
    const std::string wav = WriteTemp("speech.wav", NoiseWave(1, 16000, 16, 3000).image);
    const std::string wma = MediumNamed("tone.wma").path;
    const HostText profile = SpeechProfile();
    const struct {
        uint32_t target;
        const char *name;
        rlim_t limit;
    } cases[] = {{BRIVANE_KIND_WAV, "cut.wav", 16384},      {BRIVANE_KIND_WAV, "cut-header.wav", 20},
                 {BRIVANE_KIND_WAV, "full.wav", 0},         {BRIVANE_KIND_WMA, "cut.wma", 4096},
                 {BRIVANE_KIND_WMA, "cut-header.wma", 100}, {BRIVANE_KIND_WMA, "full.wma", 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = testing::TempDir() + c.name;
        const std::string &source = c.target == BRIVANE_KIND_WAV ? wma : wav;
        unlink(out.c_str());
        if (!c.limit) {
            ASSERT_EQ(symlink("/dev/full", out.c_str()), 0);
        }
        uint32_t result;
        {
            FileSizeLimit limit(c.limit);
            result = Convert(c.target, out.c_str(), 3 - c.target, source.c_str(), profile.c_str());
        }
        EXPECT_EQ(result, 0u);
        EXPECT_NE(access(out.c_str(), F_OK), 0) << "output left behind";
        EXPECT_EQ(Convert(c.target, out.c_str(), 3 - c.target, source.c_str(), profile.c_str()), 1u);
    }
}

using DeviceFailure = PlaybackTest;

TEST_F(DeviceFailure, PlaybackEndsInOneFailureAndThenPlaysOnAGoodDevice) {
    const char *good = DiskAudioFile();
    if (!good) GTEST_SKIP() << "needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILE)";
    const std::string goodDevice = good;
    // Short enough that direct WAV mode writes it all in the play command: only unplayed buffers tell of the loss.
    const Medium blip = NoiseWave(2, 44100, 16, 300);
    const struct {
        const Medium &medium;
        Source source;
        uint32_t mode;
        const char *device;
        rlim_t sizeLimit;  // 0: none
    } rows[] = {
        {MediumNamed("tone.wma"), Source::File, BRIVANE_MODE_DECODE, "/nonexistent/device.raw", 0},
        {MediumNamed("tone.wav"), Source::Memory, BRIVANE_MODE_WAVE, "/nonexistent/device.raw", 0},
        {MediumNamed("long.wav"), Source::File, BRIVANE_MODE_DECODE, "/dev/full", 0},
        {MediumNamed("long.wav"), Source::File, BRIVANE_MODE_WAVE, "/dev/full", 0},
        {blip, Source::Memory, BRIVANE_MODE_WAVE, goodDevice.c_str(), 16384},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.medium.name + " mode " + std::to_string(row.mode) + " on " + row.device +
                     (row.sizeLimit ? " limited" : ""));
        const uint32_t handle = host.Open(row.medium, row.source, row.mode);
        ASSERT_NE(0u, handle);
        // SDL's disk driver writes to the file named when a device opens.
        setenv("SDL_DISKAUDIOFILE", row.device, 1);
        bool finished;
        {
            FileSizeLimit limit(row.sizeLimit);
            finished = AudioOutPlay(handle, 0) == 1 && host.WaitForFinish(handle, Patience(row.medium));
            host.Fence();
        }
        setenv("SDL_DISKAUDIOFILE", goodDevice.c_str(), 1);
        ASSERT_TRUE(finished);
        // Let a wrongly raised end show up.
        std::this_thread::sleep_for(milliseconds(300));
        const std::vector<Delivery> failed = host.Of(handle);
        EXPECT_EQ(1u, Count(failed, BRIVANE_EVENT_COMMAND_FAILED)) << Sequence(failed);
        EXPECT_EQ(0u, Count(failed, BRIVANE_EVENT_END)) << Sequence(failed);

        ASSERT_EQ(1u, AudioOutPlay(handle, 0));
        ASSERT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, Patience(row.medium)));
        const std::vector<Delivery> replay = host.Of(handle);
        EXPECT_EQ(1u, Count(replay, BRIVANE_EVENT_COMMAND_FAILED)) << Sequence(replay);
        EXPECT_EQ(row.medium.pcm.size(), Data(replay, failed.size()).size()) << Sequence(replay);
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
    PlaybackHost failures;
    const uint32_t listener = failures.OpenMissing();
    static std::atomic<int> raw{0};
    const AudioInCallback countRaw = [](uint32_t, BRIVANE_USER, uint32_t code, uint32_t arg1, uint32_t, const void *,
                                        uint32_t) {
        if (code == BRIVANE_REC_EVENT_DATA && arg1 == 1) ++raw;
    };
    const HostText profile = SpeechProfile();
    const BrivaneWaveFormat mono = Pcm(1, 16000, 16);
    const uint32_t handle = AudioInOpen(1, &mono, profile.c_str(), countRaw, 0);
    ASSERT_NE(0u, handle);
    ASSERT_EQ(1u, AudioInStart(handle, 0));
    ASSERT_TRUE(WaitUntil([] { return raw >= 4; }, 5000)) << "nothing recorded";
    ASSERT_EQ(0, kill(std::atoi(server), SIGKILL));
    EXPECT_TRUE(failures.WaitForCode(handle, BRIVANE_EVENT_COMMAND_FAILED, milliseconds(5000)))
        << "the capture went on as if nothing happened";
    const int recorded = raw;
    // The lost device gives its buffers back: stop and close succeed and free them.
    AudioInStop(handle);
    AudioInClose(handle);
    // No server, no device: a new capture fails cleanly.
    const uint32_t next = AudioInOpen(1, &mono, profile.c_str(), countRaw, 0);
    EXPECT_TRUE(failures.WaitForCode(next, BRIVANE_EVENT_COMMAND_FAILED, milliseconds(5000)));
    AudioInClose(next);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(1u, Count(failures.Of(handle), BRIVANE_EVENT_COMMAND_FAILED))
        << "stop or close of the lost capture failed";
    EXPECT_EQ(recorded, raw.load()) << "PCM after the failure";
    AudioOutClose(listener);
    UnInitBrivane();
}

}  // namespace
