// Capture through the exports as a host meets it: bad input, many cycles, and (on SDL's disk driver,
// reading a file written here) the raw PCM, the encoded streams that ffprobe accepts, and the device
// released after a failed open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>

#include "HostHarness.h"

namespace {

struct CaptureEvent {
    uint32_t handle, code, arg1, arg2;
    std::vector<uint8_t> payload;
    std::thread::id thread;
};

// One letter per event: B begin, S stream begins, R raw PCM, H header bytes, D data unit, E end.
char Letter(const CaptureEvent &e) {
    switch (e.code) {
    case BRIVANE_REC_EVENT_BEGIN: return 'B';
    case BRIVANE_REC_EVENT_STREAM_BEGIN: return 'S';
    case BRIVANE_REC_EVENT_END: return 'E';
    case BRIVANE_REC_EVENT_DATA: return e.arg1 == 1 ? 'R' : e.arg2 == 0 ? 'H' : 'D';
    default: return '?';
    }
}

class CaptureLog {
public:
    static void BRIVANE_CALL OnCapture(uint32_t handle, BRIVANE_USER user, uint32_t code, uint32_t arg1, uint32_t arg2,
                                       const void *payload, uint32_t size) {
        CaptureLog *log = reinterpret_cast<CaptureLog *>(user);
        const uint8_t *bytes = static_cast<const uint8_t *>(payload);
        std::lock_guard<std::mutex> guard(log->m_lock);
        log->m_events.push_back({handle, code, arg1, arg2,
                                 bytes ? std::vector<uint8_t>(bytes, bytes + size) : std::vector<uint8_t>(),
                                 std::this_thread::get_id()});
        log->m_changed.notify_all();
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    // The events of one instance; with a count of letters, waits up to 10 s until that many arrived.
    std::vector<CaptureEvent> Events(uint32_t handle, char letter = 0, size_t count = 0) {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait_for(guard, std::chrono::seconds(10), [&] {
            size_t seen = 0;
            for (const CaptureEvent &e : m_events) seen += e.handle == handle && Letter(e) == letter;
            return seen >= count;
        });
        std::vector<CaptureEvent> mine;
        for (const CaptureEvent &e : m_events)
            if (e.handle == handle) mine.push_back(e);
        return mine;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.clear();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<CaptureEvent> m_events;
};

std::string Letters(const std::vector<CaptureEvent> &events) {
    std::string letters;
    for (const CaptureEvent &e : events) letters += Letter(e);
    return letters;
}

std::vector<uint8_t> Joined(const std::vector<CaptureEvent> &events, const std::string &letters) {
    std::vector<uint8_t> joined;
    for (const CaptureEvent &e : events)
        if (letters.find(Letter(e)) != std::string::npos) joined.insert(joined.end(), e.payload.begin(), e.payload.end());
    return joined;
}

const BrivaneWaveFormat kStereo44k = {1, 2, 44100, 176400, 4, 16, 0};

size_t FailureCount(HostLog &log, uint32_t handle) {
    size_t count = 0;
    for (const HostEvent &event : log.Events()) count += event.handle == handle && event.code == BRIVANE_EVENT_COMMAND_FAILED;
    return count;
}

// Sets the playback callback, through which capture failures arrive, with an open of its own.
uint32_t ListenForFailures(HostLog &log) { return AudioOutFileOpen(1, u"missing.wma", &HostLog::OnPlay, log.User()); }

// A hundred instances in turn, each opened, started, stopped and closed, so the parked one is
// reused; every tenth records 32-bit float, which is delivered raw and never encoded.
TEST(Capture, AHundredCyclesOfOpenStartStopAndClose) {
    ASSERT_EQ(1u, InitBrivane());
    HostLog failures;
    const uint32_t listener = ListenForFailures(failures);
    CaptureLog log;
    const std::u16string profile = SpeechProfile();
    const BrivaneWaveFormat monoFloat = {3, 1, 16000, 64000, 4, 32, 0};
    std::vector<uint32_t> handles;
    for (int i = 0; i < 100; ++i) {
        const bool raw = i % 10 == 9;
        const uint32_t handle = AudioInOpen(1, raw ? &monoFloat : &kStereo44k, profile.c_str(), &CaptureLog::OnCapture,
                                            log.User());
        ASSERT_NE(0u, handle) << "cycle " << i;
        AudioInStart(handle, 0);
        // A close posted before the open ran would find the entry closing and skip the open.
        log.Events(handle, raw ? 'R' : 'S', raw ? 3 : 1);
        if (i % 2)
            AudioInStop(handle);
        else
            AudioInStart(handle, 1);
        AudioInClose(handle);
        handles.push_back(handle);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        const std::vector<CaptureEvent> events = log.Events(handles[i], 'E', 1);
        const std::string letters = Letters(events);
        EXPECT_EQ(0u, letters.find("BSH")) << i << ": " << letters;
        EXPECT_EQ(letters.size() - 1, letters.find('E')) << i << ": " << letters;
        if (i % 10 == 9) {
            EXPECT_EQ(std::string::npos, letters.find('D')) << "float capture encoded: " << letters;
            EXPECT_EQ(64000u / 20, events[letters.find('R')].payload.size());
        }
    }
    for (const HostEvent &event : failures.Events()) EXPECT_EQ(listener, event.handle) << "a capture command failed";
    AudioOutClose(listener);
    UnInitBrivane();
}

TEST(Capture, BadInputEndsInFailureEventsAndNothingElse) {
    ASSERT_EQ(1u, InitBrivane());
    HostLog failures;
    const uint32_t listener = ListenForFailures(failures);
    CaptureLog log;
    const std::u16string profile = SpeechProfile();
    BrivaneWaveFormat tinyByteRate = {1, 1, 16000, 20, 2, 16, 0};
    BrivaneWaveFormat noRate = {1, 1, 0, 0, 2, 16, 0};
    BrivaneWaveFormat absurdRate = {1, 1, 4000000000u, 4000000000u, 2, 16, 0};
    BrivaneWaveFormat noChannels = {1, 0, 16000, 0, 0, 16, 0};
    BrivaneWaveFormat manyChannels = {1, 1000, 16000, 32000000, 2000, 16, 0};
    struct Case {
        const char *what;
        const BrivaneWaveFormat *format;
        const char16_t *profile;
    } cases[] = {
        {"byte rate of 20", &tinyByteRate, profile.c_str()},
        {"rate 0", &noRate, profile.c_str()},
        {"rate 4 GHz", &absurdRate, profile.c_str()},
        {"no channels", &noChannels, profile.c_str()},
        {"1000 channels", &manyChannels, profile.c_str()},
        {"profile that does not parse", &kStereo44k, u"<profile version=\"589824\"><streamconfig"},
        {"profile without an audio stream", &kStereo44k, u"<profile version=\"589824\"/>"},
        {"no profile", &kStereo44k, nullptr},
    };
    std::vector<uint32_t> handles;
    for (const Case &c : cases) {
        const uint32_t handle = AudioInOpen(1, c.format, c.profile, &CaptureLog::OnCapture, log.User());
        handles.push_back(handle);
        ASSERT_NE(0u, handle) << c.what;
        EXPECT_TRUE(failures.WaitForEvent(handle, BRIVANE_EVENT_COMMAND_FAILED)) << c.what;
        EXPECT_EQ(1u, AudioInStart(handle, 0));
        for (int waited = 0; FailureCount(failures, handle) < 2 && waited < 5000; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        AudioInClose(handle);
        AudioInClose(handle);
    }
    EXPECT_EQ(1u, AudioInStart(0x7777, 0)) << "posted for a handle that names nothing";
    AudioInStop(0x7777);
    // Once a fence has opened, every command before it has run.
    const uint32_t fence = AudioInOpen(1, &kStereo44k, nullptr, &CaptureLog::OnCapture, log.User());
    EXPECT_TRUE(failures.WaitForEvent(fence, BRIVANE_EVENT_COMMAND_FAILED));
    AudioInClose(fence);
    for (size_t i = 0; i < handles.size(); ++i) EXPECT_TRUE(log.Events(handles[i]).empty()) << cases[i].what;
    for (const HostEvent &event : failures.Events()) EXPECT_NE(0x7777u, event.handle) << "nothing for a handle that names nothing";
    for (size_t i = 0; i < handles.size(); ++i) EXPECT_EQ(2u, FailureCount(failures, handles[i])) << cases[i].what;
    AudioOutClose(listener);
    UnInitBrivane();
}

// SDL's disk driver records from the file named by SDL_DISKAUDIOFILEIN, opened as a device opens.
const char *DiskInput() {
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    return driver && std::string(driver) == "disk" ? std::getenv("SDL_DISKAUDIOFILEIN") : nullptr;
}

std::vector<uint8_t> Pattern(size_t bytes, unsigned seed) {
    std::vector<uint8_t> pcm(bytes);
    unsigned state = seed;
    for (uint8_t &b : pcm) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    return pcm;
}

bool Replace(const char *path, const std::vector<uint8_t> &bytes) {
    unlink(path);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::string Run(const std::string &command) {
    std::string output;
    if (std::FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
        pclose(pipe);
    }
    return output;
}

// What ffprobe and ffmpeg make of one encoded stream: its stream line and its decoded seconds.
struct Probe {
    std::string stream;
    double seconds = -1;
};

Probe ProbeStream(const std::vector<uint8_t> &wma, const std::string &name) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(wma.data()),
                                                 static_cast<std::streamsize>(wma.size()));
    Probe probe;
    probe.stream = Run("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of compact=p=0:nk=0 '" +
                       path + "' 2>&1");
    const std::string pcm = Run("ffmpeg -v error -i '" + path + "' -f s16le -ac 1 -ar 16000 - 2>/dev/null");
    probe.seconds = pcm.size() / 32000.0;
    std::remove(path.c_str());
    return probe;
}

TEST(CaptureDisk, RecordsTheInputAndEncodesItTwiceOnOneInstance) {
    const char *input = DiskInput();
    if (!input) GTEST_SKIP() << "needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILEIN)";
    const std::vector<uint8_t> pcm = Pattern(176400 + 8820 * 4, 1);
    ASSERT_TRUE(Replace(input, pcm));
    ASSERT_EQ(1u, InitBrivane());
    CaptureLog log;
    const std::u16string profile = SpeechProfile();
    const uint32_t handle = AudioInOpen(1, &kStereo44k, profile.c_str(), &CaptureLog::OnCapture, log.User());
    ASSERT_NE(0u, handle);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        ASSERT_EQ(1u, AudioInStart(handle, 0));
        log.Events(handle, 'R', run == 1 ? pcm.size() / 8820 + 1 : 10);
        ASSERT_EQ(1u, AudioInStop(handle));
        const std::vector<CaptureEvent> events = log.Events(handle, 'E', 1);
        log.Clear();
        const std::string letters = Letters(events);
        ASSERT_EQ(0u, letters.find("BS")) << letters;
        EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<const uint8_t *>(&kStereo44k),
                                       reinterpret_cast<const uint8_t *>(&kStereo44k) + 18),
                  events[0].payload);
        EXPECT_LT(letters.find_last_of('H'), letters.find('R')) << letters;
        EXPECT_NE(std::string::npos, letters.find('D')) << letters;
        EXPECT_EQ(letters.size() - 1, letters.find('E')) << letters;
        for (const CaptureEvent &e : events) {
            // Raw PCM and header bytes carry 0, everything else -2.
            EXPECT_EQ(e.code == 4 && (e.arg1 == 1 || e.arg2 == 0) ? 0u : BRIVANE_REC_NOT_HEADER, e.arg2) << Letter(e);
            EXPECT_EQ(Letter(e) == 'R' ? 1u : 0u, e.arg1) << Letter(e);
            EXPECT_EQ(events[0].thread, e.thread) << "every event on the service thread";
        }
        EXPECT_NE(std::this_thread::get_id(), events[0].thread);
        const std::vector<uint8_t> raw = Joined(events, "R");
        const size_t rawEvents = std::count(letters.begin(), letters.end(), 'R');
        for (size_t i = 0, n = 0; i < events.size(); ++i)
            if (Letter(events[i]) == 'R' && ++n < rawEvents) {
                EXPECT_EQ(8820u, events[i].payload.size()) << n;
            }
        if (run == 1) {
            ASSERT_GE(raw.size(), pcm.size());
            EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), raw.begin())) << "the input's bytes, in order";
        }
        const Probe probe = ProbeStream(Joined(events, "HD"), "capture-" + std::to_string(run) + ".wma");
        EXPECT_NE(std::string::npos, probe.stream.find("codec_name=wmav2|sample_rate=16000|channels=1")) << probe.stream;
        const double recorded = raw.size() / 176400.0;
        EXPECT_NEAR(recorded, probe.seconds, 0.15) << "decoded length against the recorded time";
    }
    AudioInClose(handle);
    UnInitBrivane();
}

TEST(CaptureDisk, ACloseAfterAFailedOpenReleasesTheDevice) {
    const char *input = DiskInput();
    if (!input) GTEST_SKIP() << "needs SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILEIN)";
    ASSERT_TRUE(Replace(input, Pattern(88200, 2)));
    ASSERT_EQ(1u, InitBrivane());
    HostLog failures;
    const uint32_t listener = ListenForFailures(failures);
    CaptureLog log;
    const uint32_t failed = AudioInOpen(1, &kStereo44k, nullptr, &CaptureLog::OnCapture, log.User());
    ASSERT_TRUE(failures.WaitForEvent(failed, BRIVANE_EVENT_COMMAND_FAILED));
    AudioInClose(failed);
    // A device left open would go on reading the file it opened, now unlinked.
    const std::vector<uint8_t> fresh = Pattern(88200, 3);
    ASSERT_TRUE(Replace(input, fresh));
    const std::u16string profile = SpeechProfile();
    const uint32_t handle = AudioInOpen(1, &kStereo44k, profile.c_str(), &CaptureLog::OnCapture, log.User());
    AudioInStart(handle, 0);
    log.Events(handle, 'R', fresh.size() / 8820);
    AudioInClose(handle);
    const std::vector<uint8_t> raw = Joined(log.Events(handle, 'E', 1), "R");
    ASSERT_GE(raw.size(), fresh.size());
    EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), raw.begin()));
    EXPECT_TRUE(log.Events(failed).empty());
    AudioOutClose(listener);
    UnInitBrivane();
}

}  // namespace
