// Files that change under the library while it reads them: cut to half, cut to nothing or deleted
// while they play in either mode, decode through GetAudioPCM or convert to WAV. A cut ends in a
// failure with what was already delivered intact; a deleted file stays readable to the end. And a
// conversion whose output meets a full disk or the file-size limit.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "PlaybackHost.h"

namespace {

enum class Fault { Half, Empty, Delete };

const struct {
    Fault fault;
    const char *name;
} kFaults[] = {{Fault::Half, "cut to half"}, {Fault::Empty, "cut to nothing"}, {Fault::Delete, "deleted"}};

void Apply(Fault fault, const std::string &path) {
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    if (fault == Fault::Delete)
        ASSERT_EQ(unlink(path.c_str()), 0);
    else
        ASSERT_EQ(truncate(path.c_str(), fault == Fault::Half ? info.st_size / 2 : 0), 0);
}

class FileFailureTest : public PlaybackTest {
protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        char name[] = "/tmp/brivane-file-failure-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        m_dir = name;
    }
    void TearDown() override {
        PlaybackTest::TearDown();
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    std::string Copy(const std::vector<char> &bytes, const char *name) const {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return path;
    }

    std::string m_dir;
};

// Six seconds of noise, so the player has read only part of the file when the fault comes; the
// faults in both modes play side by side, each on a file of its own.
TEST_F(FileFailureTest, APlayingFileCutShortFailsAfterTheDataItHadAndADeletedOnePlaysToTheEnd) {
    const Medium noise = NoiseWave(2, 44100, 16, 6000);
    std::vector<Medium> media;
    std::vector<Fault> faults;
    std::vector<uint32_t> handles;
    for (const uint32_t mode : {BRIVANE_MODE_DECODE, BRIVANE_MODE_WAVE}) {
        for (const auto &f : kFaults) {
            media.push_back(noise);
            media.back().name = std::string(f.name) + ", mode " + std::to_string(mode);
            media.back().path = Copy(noise.image, ("playing-" + std::to_string(handles.size()) + ".wav").c_str());
            media.back().widePath = Wide(media.back().path);
            faults.push_back(f.fault);
            handles.push_back(host.Start(media.back(), Source::File, mode));
        }
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        ASSERT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_DATA, Patience(noise))) << media[i].name;
        Apply(faults[i], media[i].path);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        SCOPED_TRACE(media[i].name);
        EXPECT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_END, Patience(noise)));
        const std::vector<Delivery> events = host.Of(handles[i]);
        const bool failed = IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED) < events.size();
        EXPECT_EQ(failed, faults[i] != Fault::Delete) << Sequence(events);
        const std::vector<char> data = Data(events);
        EXPECT_TRUE(IsPrefix(data, noise.pcm)) << data.size() << " bytes";
        if (faults[i] == Fault::Delete) {
            EXPECT_EQ(data.size(), noise.pcm.size());
        }
        AudioOutClose(handles[i]);
    }
    // The library still plays.
    const Medium &tone = MediumNamed("tone.wav");
    const uint32_t handle = host.Start(tone, Source::Memory, BRIVANE_MODE_WAVE);
    EXPECT_TRUE(host.WaitForCode(handle, BRIVANE_EVENT_END, Patience(tone)));
    EXPECT_EQ(Data(host.Of(handle)), tone.pcm);
}

struct PcmRun {
    std::vector<char> pcm;
    std::string path;
    Fault fault;
    bool applied = false;
};

void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
    PcmRun *run = reinterpret_cast<PcmRun *>(user);
    if (code != BRIVANE_PCM_DATA) return;
    run->pcm.insert(run->pcm.end(), static_cast<const char *>(data), static_cast<const char *>(data) + length);
    if (!run->applied && !run->path.empty()) {
        run->applied = true;
        Apply(run->fault, run->path);
    }
}

// The decode runs on the caller's thread, so GetAudioPCM's fault comes from its first callback;
// Convert's comes once its output holds PCM.
TEST_F(FileFailureTest, ADecodeOrConversionOfAFileCutShortFailsAndLeavesNoOutput) {
    const Medium &minutes = MediumNamed("minutes.wma");
    PcmRun whole;
    ASSERT_EQ(GetAudioPCM(BRIVANE_KIND_AUDIO, minutes.path.c_str(), 0, 0, &OnPcm,
                          reinterpret_cast<BRIVANE_USER>(&whole), nullptr),
              1u);
    for (const auto &f : kFaults) {
        SCOPED_TRACE(f.name);
        PcmRun run;
        run.path = Copy(minutes.image, "decoding.wma");
        run.fault = f.fault;
        const uint32_t decoded = GetAudioPCM(BRIVANE_KIND_AUDIO, run.path.c_str(), 0, 0, &OnPcm,
                                             reinterpret_cast<BRIVANE_USER>(&run), nullptr);
        EXPECT_EQ(decoded, f.fault == Fault::Delete ? 1u : 0u);
        EXPECT_TRUE(IsPrefix(run.pcm, whole.pcm)) << run.pcm.size() << " of " << whole.pcm.size() << " bytes";
        if (f.fault == Fault::Delete) {
            EXPECT_EQ(run.pcm.size(), whole.pcm.size());
        }

        const std::string source = Copy(minutes.image, "converting.wma"), target = m_dir + "/converted.wav";
        std::atomic<bool> done(false), applied(false);
        std::thread fault([&] {
            struct stat info;
            while (!done && (stat(target.c_str(), &info) != 0 || info.st_size <= 44)) std::this_thread::yield();
            if (done) return;
            Apply(f.fault, source);
            applied = true;
        });
        const uint32_t converted = Convert(BRIVANE_KIND_WAV, target.c_str(), BRIVANE_KIND_WMA, source.c_str(), nullptr);
        done = true;
        fault.join();
        // A machine too busy to run the fault before the conversion ended has nothing to show.
        if (!applied) {
            unlink(target.c_str());
            continue;
        }
        struct stat info;
        EXPECT_EQ(converted, f.fault == Fault::Delete ? 1u : 0u);
        EXPECT_EQ(stat(target.c_str(), &info) == 0, f.fault == Fault::Delete);
        unlink(target.c_str());
    }
}

// Output that meets the file-size limit or a full disk (a link to the device that is always full)
// fails the conversion in either direction and leaves no file behind that could pass for a finished
// one; with the limit lifted the same conversion works.
TEST_F(FileFailureTest, AFullDiskOrAFileSizeLimitFailsTheConversionAndLeavesNoOutput) {
    const std::string wav = Copy(NoiseWave(1, 16000, 16, 3000).image, "speech.wav"), wma = MediumNamed("tone.wma").path;
    const HostText profile = SpeechProfile();
    const rlim_t kFull = 0;
    const struct {
        uint32_t target;
        const char *name;
        rlim_t limit;
    } cases[] = {{BRIVANE_KIND_WAV, "cut.wav", 16384},      {BRIVANE_KIND_WAV, "cut-header.wav", 20},
                 {BRIVANE_KIND_WAV, "full.wav", kFull},     {BRIVANE_KIND_WMA, "cut.wma", 4096},
                 {BRIVANE_KIND_WMA, "cut-header.wma", 100}, {BRIVANE_KIND_WMA, "full.wma", kFull}};
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = m_dir + "/" + c.name;
        const std::string &source = c.target == BRIVANE_KIND_WAV ? wma : wav;
        rlimit limited = saved;
        if (c.limit == kFull)
            ASSERT_EQ(symlink("/dev/full", out.c_str()), 0);
        else
            limited.rlim_cur = c.limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const uint32_t result = Convert(c.target, out.c_str(), 3 - c.target, source.c_str(), profile.c_str());
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(result, 0u);
        struct stat info;
        EXPECT_NE(stat(out.c_str(), &info), 0) << info.st_size << " bytes left";
        EXPECT_EQ(Convert(c.target, out.c_str(), 3 - c.target, source.c_str(), profile.c_str()), 1u);
    }
    signal(SIGXFSZ, previous);
}

}  // namespace
