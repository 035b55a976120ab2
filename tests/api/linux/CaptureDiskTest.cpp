// Capture on SDL's disk driver, reading a file written here: the device released after a failed
// open, then the raw PCM and the encoded streams that ffprobe accepts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "CaptureHost.h"
#include "PlaybackMedia.h"

namespace {

// A device still open on the old file goes on reading it, unlinked.
bool Replace(const char *path, const std::vector<char> &bytes) {
    unlink(path);
    return bool(std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size())));
}

// What ffprobe makes of one encoded stream (its stream line), and the seconds ffmpeg decodes from it.
std::pair<std::string, double> Probe(const std::vector<char> &wma, const std::string &name) {
    const std::string path = testing::TempDir() + name;
    Replace(path.c_str(), wma);
    const std::string in = "'" + path + "'";
    const std::string probe = "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of compact ";
    const std::string decode = " && ffmpeg -v error -i " + in + " -f s16le -ac 1 -ar 16000 -y " + in + ".raw";
    EXPECT_EQ(0, std::system((probe + in + " >" + in + ".txt 2>&1" + decode).c_str()));
    const std::vector<char> stream = ReadFile(path + ".txt");
    return {std::string(stream.begin(), stream.end()), ReadFile(path + ".raw").size() / 32000.0};
}

TEST(CaptureDisk, AfterAFailedOpenRecordsTheInputAndEncodesItTwiceOnOneInstance) {
    // SDL's disk driver records from the file named by SDL_DISKAUDIOFILEIN, opened as a device opens.
    const char *driver = std::getenv("SDL_AUDIODRIVER"), *input = std::getenv("SDL_DISKAUDIOFILEIN");
    if (!driver || std::string(driver) != "disk" || !input)
        GTEST_SKIP() << "needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILEIN)";
    ASSERT_TRUE(Replace(input, std::vector<char>(88200)));
    ASSERT_EQ(1u, InitBrivane());
    PlaybackHost host;
    const uint32_t listener = host.OpenMissing();
    // Its close releases the device: one left open would go on reading the file it opened.
    const uint32_t failed = AudioInOpen(1, &kStereo44k, nullptr, &PlaybackHost::OnCapture, host.User());
    ASSERT_TRUE(host.WaitForCode(failed, BRIVANE_EVENT_COMMAND_FAILED, milliseconds(5000)));
    AudioInClose(failed);
    const std::vector<char> pcm = NoiseWave(2, 44100, 16, 1200).pcm;
    ASSERT_TRUE(Replace(input, pcm));
    const std::u16string profile = SpeechProfile();
    const uint32_t handle = AudioInOpen(1, &kStereo44k, profile.c_str(), &PlaybackHost::OnCapture, host.User());
    ASSERT_NE(0u, handle);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        ASSERT_EQ(1u, AudioInStart(handle, 0));
        // The restart goes on past the device's 100 fresh buffers: the stopped ones circulate again.
        const size_t buffers = run == 1 ? pcm.size() / 8820 + 1 : 120;
        const size_t from = host.Of(handle).size();
        const std::string recorded = Letters(Captured(host, handle, 'R', buffers));
        ASSERT_GE(size_t(std::count(recorded.begin(), recorded.end(), 'R')), buffers);
        ASSERT_EQ(1u, AudioInStop(handle));
        const std::vector<Delivery> all = Captured(host, handle, 'E', run);
        const std::vector<Delivery> events(all.begin() + long(from), all.end());
        EXPECT_EQ("F", Letters(host.Of(failed)));
        const std::string letters = Letters(events);
        ASSERT_EQ(0u, letters.find("BS")) << letters;
        EXPECT_EQ(std::vector<char>(reinterpret_cast<const char *>(&kStereo44k),
                                    reinterpret_cast<const char *>(&kStereo44k) + 18),
                  events[0].payload);
        EXPECT_LT(letters.find_last_of('H'), letters.find('R')) << letters;
        EXPECT_NE(std::string::npos, letters.find('D')) << letters;
        EXPECT_EQ(letters.size() - 1, letters.find('E')) << letters;
        for (size_t i = 0; i < events.size(); ++i) {
            const Delivery &e = events[i];
            // Raw PCM and header bytes carry 0, everything else -2.
            EXPECT_EQ(e.code == 4 && (e.arg1 == 1 || e.arg2 == 0) ? 0u : BRIVANE_REC_NOT_HEADER, e.arg2) << Letter(e);
            EXPECT_EQ(Letter(e) == 'R' ? 1u : 0u, e.arg1) << Letter(e);
            EXPECT_EQ(events[0].thread, e.thread) << "every event on the service thread";
            if (Letter(e) == 'R' && i < letters.find_last_of('R')) {
                EXPECT_EQ(8820u, e.payload.size()) << i;
            }
        }
        EXPECT_NE(std::this_thread::get_id(), events[0].thread);
        const std::vector<char> raw = Joined(events, "R");
        if (run == 1) {
            ASSERT_GE(raw.size(), pcm.size());
            EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), raw.begin())) << "the input's bytes, in order";
        }
        const auto probe = Probe(Joined(events, "HD"), "capture-" + std::to_string(run) + ".wma");
        EXPECT_NE(std::string::npos, probe.first.find("codec_name=wmav2|sample_rate=16000|channels=1")) << probe.first;
        EXPECT_NEAR(raw.size() / 176400.0, probe.second, 0.15) << "decoded length against the recorded time";
    }
    AudioInClose(handle);
    AudioOutClose(listener);
    UnInitBrivane();
}

}  // namespace
