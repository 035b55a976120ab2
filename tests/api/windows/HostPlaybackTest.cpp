// Playback through the DLL as a Windows host uses it, on the platform's own Windows Media reader and
// wave output (Wine's, in our runs: the reader opens files through the library's stream and winmm
// plays to a PulseAudio null sink in real time). Media come from BRIVANE_TEST_MEDIA with ffmpeg's
// decode of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "HostLibrary.h"

namespace {

const BrivaneExports &B() { return Brivane(); }

struct Heard {
    uint32_t code;
    std::string payload;
    DWORD at;
    DWORD thread;
};

class PlaybackLog {
public:
    PlaybackLog() { InitializeCriticalSection(&m_lock); }
    ~PlaybackLog() { DeleteCriticalSection(&m_lock); }
    PlaybackLog(const PlaybackLog &) = delete;
    PlaybackLog &operator=(const PlaybackLog &) = delete;

    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *payload, uint32_t size) {
        PlaybackLog *log = reinterpret_cast<PlaybackLog *>(user);
        Heard heard{code, payload ? std::string(static_cast<const char *>(payload), size) : std::string(), GetTickCount(),
                    GetCurrentThreadId()};
        EnterCriticalSection(&log->m_lock);
        log->m_heard[handle].push_back(heard);
        LeaveCriticalSection(&log->m_lock);
        WakeAllConditionVariable(&log->m_changed);
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    bool WaitUntil(uint32_t handle, DWORD timeoutMs, const std::function<bool(const std::vector<Heard> &)> &done) {
        const DWORD start = GetTickCount();
        EnterCriticalSection(&m_lock);
        bool met = done(m_heard[handle]);
        while (!met && GetTickCount() - start < timeoutMs) {
            SleepConditionVariableCS(&m_changed, &m_lock, timeoutMs - (GetTickCount() - start));
            met = done(m_heard[handle]);
        }
        LeaveCriticalSection(&m_lock);
        return met;
    }
    bool WaitForCount(uint32_t handle, uint32_t code, size_t count, DWORD timeoutMs) {
        return WaitUntil(handle, timeoutMs, [&](const std::vector<Heard> &heard) {
            return size_t(std::count_if(heard.begin(), heard.end(), [&](const Heard &h) { return h.code == code; })) >= count;
        });
    }
    bool WaitForFinish(uint32_t handle, DWORD timeoutMs) {
        return WaitUntil(handle, timeoutMs, [](const std::vector<Heard> &heard) {
            return !heard.empty() && (heard.back().code == BRIVANE_EVENT_END || heard.back().code == BRIVANE_EVENT_COMMAND_FAILED);
        });
    }
    std::vector<Heard> Of(uint32_t handle) {
        EnterCriticalSection(&m_lock);
        std::vector<Heard> copy = m_heard[handle];
        LeaveCriticalSection(&m_lock);
        return copy;
    }

private:
    CRITICAL_SECTION m_lock;
    CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
    std::map<uint32_t, std::vector<Heard>> m_heard;
};

std::string Sequence(const std::vector<Heard> &heard) {
    static const char *const kNames[] = {"?", "FORMAT", "PAUSED", "PLAYING", "DATA", "END", "FAILED"};
    std::string text;
    for (size_t i = 0; i < heard.size();) {
        size_t run = i;
        while (run < heard.size() && heard[run].code == heard[i].code) ++run;
        text += std::string(text.empty() ? "" : " ") + (heard[i].code < 7 ? kNames[heard[i].code] : "?");
        if (run - i > 1) text += "*" + std::to_string(run - i);
        i = run;
    }
    return text;
}

std::string Data(const std::vector<Heard> &heard, size_t from = 0) {
    std::string bytes;
    for (size_t i = from; i < heard.size(); ++i)
        if (heard[i].code == BRIVANE_EVENT_DATA) bytes += heard[i].payload;
    return bytes;
}

size_t IndexOf(const std::vector<Heard> &heard, uint32_t code, size_t nth = 0) {
    for (size_t i = 0; i < heard.size(); ++i)
        if (heard[i].code == code && nth-- == 0) return i;
    return heard.size();
}

std::string MediaPath(const char *name) {
    const char *dir = std::getenv("BRIVANE_TEST_MEDIA");
    return std::string(dir ? dir : "") + "\\" + name;
}

std::wstring WidePath(const char *name) {
    const std::string path = MediaPath(name);
    return std::wstring(path.begin(), path.end());
}

std::string ReadBytes(const std::string &path) {
    std::string bytes;
    if (FILE *file = std::fopen(path.c_str(), "rb")) {
        char block[65536];
        size_t got;
        while ((got = std::fread(block, 1, sizeof(block), file)) > 0) bytes.append(block, got);
        std::fclose(file);
    }
    return bytes;
}

// The media: a 2 s 44.1 kHz 16-bit stereo chirp as WAV (chirp.wav carries a LIST chunk, plain.wav
// only the format and data chunks), WMA and MP3, each with ffmpeg's decode in NAME.s16.
struct Medium {
    const char *name;
    bool file;
    uint32_t mode;
    const char *reference;  // ffmpeg's decode of the medium
    bool exact;             // PCM: the data equals the reference bit for bit
};

std::string Describe(const Medium &m) {
    return std::string(m.name) + (m.file ? " file" : " image") + " mode " + std::to_string(m.mode);
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool StartsWith(const std::string &text, const std::string &prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

const DWORD kPatience = 20000;
const uint32_t kChirpMs = 2000;

class HostPlayback : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("BRIVANE_TEST_MEDIA")) GTEST_SKIP() << "BRIVANE_TEST_MEDIA names no media directory";
        ASSERT_EQ(B().InitBrivane(), 1u);
        m_initialised = true;
    }
    void TearDown() override {
        if (m_initialised) B().UnInitBrivane();
    }

    // Paths and images must outlive the open command, which runs after the export has returned.
    uint32_t Open(const Medium &m) {
        if (m.file) {
            m_paths.push_back(WidePath(m.name));
            return B().AudioOutFileOpen(m.mode, m_paths.back().c_str(), &PlaybackLog::OnPlay, log.User());
        }
        m_images.push_back(ReadBytes(MediaPath(m.name)));
        return B().AudioOutOpen(m.mode, m_images.back().data(), int32_t(m_images.back().size()), &PlaybackLog::OnPlay, log.User());
    }
    // Every command posted before it has run once a failing open's event 6 has arrived.
    void Fence() {
        const uint32_t fence = B().AudioOutFileOpen(1, L"C:\\brivane-missing\\fence.wma", &PlaybackLog::OnPlay, log.User());
        ASSERT_NE(fence, 0u);
        ASSERT_TRUE(log.WaitForCount(fence, BRIVANE_EVENT_COMMAND_FAILED, 1, kPatience));
        B().AudioOutClose(fence);
    }

    PlaybackLog log;

private:
    bool m_initialised = false;
    std::vector<std::wstring> m_paths;
    std::vector<std::string> m_images;
};

TEST_F(HostPlayback, MediaPlayFormatPlayingDataThenEnd) {
    const Medium media[] = {
        {"chirp.wav", true, 1, "chirp.wav.s16", true},   {"chirp.wav", false, 1, "chirp.wav.s16", true},
        {"plain.wav", true, 2, "chirp.wav.s16", true},   {"plain.wav", false, 2, "chirp.wav.s16", true},
        {"chirp.wma", true, 1, "chirp.wma.s16", false},  {"chirp.wma", false, 1, "chirp.wma.s16", false},
        {"chirp.mp3", false, 1, "chirp.mp3.s16", false},
    };
    std::vector<uint32_t> handles;
    for (const Medium &m : media) {
        handles.push_back(Open(m));
        ASSERT_NE(handles.back(), 0u) << Describe(m);
        B().AudioOutPlay(handles.back(), 0);
    }
    std::vector<uint32_t> durations;
    for (size_t i = 0; i < handles.size(); ++i) {
        EXPECT_TRUE(log.WaitForFinish(handles[i], kPatience)) << Describe(media[i]) << ": " << Sequence(log.Of(handles[i]));
        durations.push_back(B().AudioOutGetWholeDuration(handles[i]));
    }
    Fence();
    const BrivaneWaveFormat stereo = {1, 2, 44100, 176400, 4, 16, 0};
    for (size_t i = 0; i < handles.size(); ++i) {
        const Medium &m = media[i];
        const std::vector<Heard> heard = log.Of(handles[i]);
        const std::string what = Describe(m) + ": " + Sequence(heard);
        ASSERT_GE(heard.size(), 4u) << what;
        EXPECT_EQ(heard[0].code, uint32_t(BRIVANE_EVENT_FORMAT)) << what;
        EXPECT_EQ(heard[1].code, uint32_t(BRIVANE_EVENT_PLAYING)) << what;
        EXPECT_EQ(heard.back().code, uint32_t(BRIVANE_EVENT_END)) << what;
        ASSERT_EQ(heard[0].payload.size(), sizeof stereo) << what;
        EXPECT_EQ(std::memcmp(heard[0].payload.data(), &stereo, sizeof stereo), 0) << what;
        for (size_t e = 2; e + 2 < heard.size(); ++e) EXPECT_EQ(heard[e].payload.size(), 8820u) << what << ", event " << e;
        EXPECT_EQ(heard[heard.size() - 2].payload.size() % 4, 0u) << what;
        const std::string data = Data(heard), reference = ReadBytes(MediaPath(m.reference));
        if (m.exact) {
            EXPECT_TRUE(data == reference) << what << ": " << data.size() << " bytes of " << reference.size();
            EXPECT_EQ(durations[i], kChirpMs) << what;
        } else {
            // Wine decodes with GStreamer, whose codec delay and padding differ from ffmpeg's.
            EXPECT_NEAR(double(data.size()), double(reference.size()), 0.1 * reference.size()) << what;
            EXPECT_NEAR(double(durations[i]), double(kChirpMs), 150.0) << what;
        }
        for (const Heard &h : heard) EXPECT_NE(h.thread, GetCurrentThreadId()) << what;
        B().AudioOutClose(handles[i]);
    }
}

TEST_F(HostPlayback, MaskWindowPauseAndSpeedShapeTheData) {
    const std::string chirp = ReadBytes(MediaPath("chirp.wav.s16"));
    const uint32_t windowBytes = 176400;  // 500..1500 ms
    const struct {
        Medium medium;
        uint32_t mask, startMs, endMs;
        int speed;
        bool pause;
        const char *sequence;  // runs of data folded to DATA*; null: checked below
    } cases[] = {
        {{"chirp.wav", true, 1, "", true}, 0x8, 0, BRIVANE_TO_END, 100, false, "DATA* END"},
        {{"plain.wav", false, 2, "", true}, 0x1, 0, BRIVANE_TO_END, 100, false, "FORMAT END"},
        {{"chirp.wav", false, 1, "", true}, 0, 500, 1500, 100, false, "FORMAT PLAYING DATA* END"},
        {{"plain.wav", true, 2, "", true}, 0, 500, 1500, 100, false, "FORMAT PLAYING DATA* END"},
        {{"chirp.wav", true, 1, "", true}, 0, 0, BRIVANE_TO_END, 100, true, nullptr},
        {{"chirp.wav", false, 1, "", true}, 0, 0, BRIVANE_TO_END, 150, false, "FORMAT PLAYING DATA* END"},
        {{"chirp.wma", false, 1, "", false}, 0, 0, BRIVANE_TO_END, 150, false, "FORMAT PLAYING DATA* END"},
    };
    std::vector<uint32_t> handles;
    for (const auto &c : cases) {
        handles.push_back(Open(c.medium));
        ASSERT_NE(handles.back(), 0u);
        B().AudioOutSetEventMask(handles.back(), c.mask);
        B().AudioOutSetDuration(handles.back(), c.startMs, c.endMs);
        B().AudioOutSetSpeed(handles.back(), c.speed);
        B().AudioOutPlay(handles.back(), 0);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        if (!cases[i].pause) continue;
        ASSERT_TRUE(log.WaitForCount(handles[i], BRIVANE_EVENT_DATA, 8, kPatience));
        B().AudioOutPlay(handles[i], 1);
        ASSERT_TRUE(log.WaitForCount(handles[i], BRIVANE_EVENT_PAUSED, 1, kPatience));
        Sleep(500);
        B().AudioOutPlay(handles[i], 0);
    }
    for (size_t i = 0; i < handles.size(); ++i)
        EXPECT_TRUE(log.WaitForFinish(handles[i], kPatience)) << Describe(cases[i].medium) << ": " << Sequence(log.Of(handles[i]));
    Fence();

    for (size_t i = 0; i < handles.size(); ++i) {
        const auto &c = cases[i];
        const std::vector<Heard> heard = log.Of(handles[i]);
        std::string sequence = Sequence(heard);
        for (size_t at = sequence.find("DATA*"); at != std::string::npos; at = sequence.find("DATA*", at + 5))
            sequence.erase(at + 5, sequence.find_first_not_of("0123456789", at + 5) - at - 5);
        for (size_t at = sequence.find("DATA "); at != std::string::npos; at = sequence.find("DATA ", at + 5))
            sequence.insert(at + 4, "*");
        const std::string what = Describe(c.medium) + " case " + std::to_string(i) + ": " + Sequence(heard);
        if (c.sequence) {
            EXPECT_EQ(sequence, c.sequence) << what;
        } else {
            // A block on its way when the pause came may still arrive after the pause event.
            EXPECT_LT(IndexOf(heard, BRIVANE_EVENT_PAUSED), IndexOf(heard, BRIVANE_EVENT_PLAYING, 1)) << what;
            EXPECT_EQ(heard.back().code, uint32_t(BRIVANE_EVENT_END)) << what;
        }
        const std::string data = Data(heard);
        if (c.mask == 0x1) {
            EXPECT_TRUE(data.empty()) << what;
        } else if (c.endMs != BRIVANE_TO_END) {
            EXPECT_GE(data.size(), windowBytes) << what;
            EXPECT_LE(data.size(), windowBytes + 3 * 176) << what;
            EXPECT_TRUE(data.compare(0, windowBytes, chirp, 88200, windowBytes) == 0) << what << ": not the window's audio";
        } else if (c.medium.exact) {
            EXPECT_TRUE(data == chirp) << what << ": " << data.size() << " bytes";
        }
        if (c.speed == 150) {
            // Data runs at one and a half times real time: 2 s of medium in about 1.33 s.
            const size_t first = IndexOf(heard, BRIVANE_EVENT_DATA);
            ASSERT_LT(first, heard.size()) << what;
            const DWORD span = heard[heard.size() - 2].at - heard[first].at;
            EXPECT_GE(span, 1000u) << what;
            EXPECT_LE(span, 1800u) << what;
        }
        B().AudioOutClose(handles[i]);
    }
}

TEST_F(HostPlayback, SeeksRestartOrMoveTheNextStartAndClosedInstancesFallSilent) {
    const std::string chirp = ReadBytes(MediaPath("chirp.wav.s16"));
    const uint32_t playing = Open({"chirp.wav", true, 1, "", true});
    const uint32_t paused = Open({"chirp.wav", false, 1, "", true});
    const uint32_t closed = Open({"chirp.wma", false, 1, "", false});
    for (uint32_t handle : {playing, paused, closed}) {
        ASSERT_NE(handle, 0u);
        B().AudioOutPlay(handle, 0);
    }
    ASSERT_TRUE(log.WaitForCount(playing, BRIVANE_EVENT_DATA, 6, kPatience));
    B().AudioOutSeek(playing, 1000);
    ASSERT_TRUE(log.WaitForCount(paused, BRIVANE_EVENT_DATA, 6, kPatience));
    B().AudioOutPlay(paused, 1);
    ASSERT_TRUE(log.WaitForCount(paused, BRIVANE_EVENT_PAUSED, 1, kPatience));
    B().AudioOutSeek(paused, 1200);
    B().AudioOutPlay(paused, 0);
    ASSERT_TRUE(log.WaitForCount(closed, BRIVANE_EVENT_DATA, 3, kPatience));
    B().AudioOutClose(closed);
    EXPECT_TRUE(log.WaitForCount(playing, BRIVANE_EVENT_END, 1, kPatience)) << Sequence(log.Of(playing));
    EXPECT_TRUE(log.WaitForCount(paused, BRIVANE_EVENT_END, 1, kPatience)) << Sequence(log.Of(paused));
    B().AudioOutPlay(paused, 0);  // after the end: from the position the seek gave
    EXPECT_TRUE(log.WaitForCount(paused, BRIVANE_EVENT_END, 2, kPatience)) << Sequence(log.Of(paused));
    Fence();
    const size_t closedSeen = log.Of(closed).size();
    Sleep(2500);  // past the medium's end

    const std::vector<Heard> restarted = log.Of(playing);
    const size_t again = IndexOf(restarted, BRIVANE_EVENT_FORMAT, 1);
    ASSERT_LT(again, restarted.size()) << Sequence(restarted);
    const std::string after = Data(restarted, again), tail = chirp.substr(176400);
    EXPECT_TRUE(after.size() >= tail.size() && after.compare(after.size() - tail.size(), tail.size(), tail) == 0)
        << Sequence(restarted) << ": " << after.size() << " bytes after the seek";
    EXPECT_LE(after.size(), tail.size() + 8820 + 16384) << Sequence(restarted);

    const std::vector<Heard> resumed = log.Of(paused);
    const size_t firstEnd = IndexOf(resumed, BRIVANE_EVENT_END), next = IndexOf(resumed, BRIVANE_EVENT_FORMAT, 1);
    ASSERT_LT(firstEnd, next) << Sequence(resumed);
    EXPECT_TRUE(Data(std::vector<Heard>(resumed.begin(), resumed.begin() + long(firstEnd))) == chirp)
        << Sequence(resumed) << ": the resumed playback is not the whole medium";
    EXPECT_TRUE(Data(resumed, next) == chirp.substr(211680)) << Sequence(resumed) << ": the next start is not at 1200 ms";

    const std::vector<Heard> silent = log.Of(closed);
    EXPECT_EQ(silent.size(), closedSeen) << Sequence(silent);
    EXPECT_EQ(IndexOf(silent, BRIVANE_EVENT_END), silent.size()) << Sequence(silent);
    for (uint32_t handle : {playing, paused}) B().AudioOutClose(handle);
}

// A RIFF WAVE image of the chirp whose data chunk claims `claimed` bytes.
std::string LyingWave(const std::string &pcm, uint32_t claimed) {
    std::string image = ReadBytes(MediaPath("plain.wav")).substr(0, 44);
    if (image.size() == 44) std::memcpy(&image[40], &claimed, 4);
    return image + pcm;
}

TEST_F(HostPlayback, TwentyPlayersCarelessHostsAndLyingHeaders) {
    const std::string chirp = ReadBytes(MediaPath("chirp.wav.s16"));
    const Medium kinds[] = {
        {"chirp.wav", true, 1, "", true}, {"chirp.wma", false, 1, "", false},
        {"chirp.mp3", false, 1, "", false}, {"plain.wav", false, 2, "", true},
    };
    std::vector<uint32_t> handles;
    for (int i = 0; i < 20; ++i) {
        handles.push_back(Open(kinds[i % 4]));
        ASSERT_NE(handles.back(), 0u);
    }
    // Images whose data size lies, played from memory by both modes: the data is the file's PCM or less.
    const std::string longer = LyingWave(chirp, uint32_t(chirp.size()) + 10 * 176400);
    const std::string shorter = LyingWave(chirp, uint32_t(chirp.size() / 2));
    const std::string *lying[] = {&longer, &shorter, &longer, &shorter};
    for (int i = 0; i < 4; ++i)
        handles.push_back(B().AudioOutOpen(1 + i / 2, lying[i]->data(), int32_t(lying[i]->size()), &PlaybackLog::OnPlay, log.User()));
    for (uint32_t handle : handles) B().AudioOutPlay(handle, 0);

    // An image freed right after its close is never read again.
    std::string *freed = new std::string(ReadBytes(MediaPath("chirp.wma")));
    const uint32_t closed = B().AudioOutOpen(1, freed->data(), int32_t(freed->size()), &PlaybackLog::OnPlay, log.User());
    ASSERT_NE(closed, 0u);
    B().AudioOutPlay(closed, 0);
    ASSERT_TRUE(log.WaitForCount(closed, BRIVANE_EVENT_DATA, 3, kPatience));
    B().AudioOutClose(closed);
    std::fill(freed->begin(), freed->end(), '\xFF');
    delete freed;

    for (size_t i = 0; i < handles.size(); ++i)
        EXPECT_TRUE(log.WaitForFinish(handles[i], 2 * kPatience)) << i << ": " << Sequence(log.Of(handles[i]));
    Fence();
    const size_t closedSeen = log.Of(closed).size();
    // Every command for the closed instance is posted and finds nothing to do.
    EXPECT_EQ(B().AudioOutPlay(closed, 0) + B().AudioOutPlay(closed, 1) + B().AudioOutSeek(closed, 10) +
                  B().AudioOutSetVolume(closed, 50) + B().AudioOutSetDuration(closed, 0, 100) +
                  B().AudioOutSetSpeed(closed, 150) + B().AudioOutSetEventMask(closed, 8),
              7u);
    EXPECT_EQ(B().AudioOutGetWholeDuration(closed), 0u);
    B().AudioOutClose(closed);
    Fence();
    EXPECT_EQ(log.Of(closed).size(), closedSeen) << Sequence(log.Of(closed));

    for (size_t i = 0; i < handles.size(); ++i) {
        const std::vector<Heard> heard = log.Of(handles[i]);
        const std::string what = std::to_string(i) + ": " + Sequence(heard), data = Data(heard);
        if (i >= 20) {
            EXPECT_TRUE(StartsWith(chirp, data)) << what << ": " << data.size() << " bytes not from the file";
        } else if (kinds[i % 4].exact) {
            EXPECT_TRUE(data == chirp) << what << ": " << data.size() << " bytes";
        } else {
            EXPECT_NEAR(double(data.size()), double(chirp.size()), 0.1 * chirp.size()) << what;
        }
        if (i < 20) {
            EXPECT_EQ(heard.back().code, uint32_t(BRIVANE_EVENT_END)) << what;
        }
        B().AudioOutClose(handles[i]);
    }
}

TEST_F(HostPlayback, DamagedMediaAndDirectoriesFail) {
    const Medium media[] = {
        {"garbage.bin", true, 1, "", false},    {"garbage.bin", false, 2, "", false},
        {"empty.wma", true, 1, "", false},      {"header-cut.wma", false, 1, "", false},
        {"chirp.wav", true, 2, "", false},  // a LIST chunk before the data: not for direct WAV mode
    };
    std::vector<uint32_t> handles;
    for (const Medium &m : media) {
        // Wine's OpenStream can hang on a header cut short, and with it the service thread.
        if (RunningUnderWine() && std::strcmp(m.name, "header-cut.wma") == 0) {
            handles.push_back(0);
            continue;
        }
        handles.push_back(Open(m));
        ASSERT_NE(handles.back(), 0u);
        B().AudioOutPlay(handles.back(), 0);
    }
    const std::wstring folder = WidePath("");
    handles.push_back(B().AudioOutFileOpen(1, folder.c_str(), &PlaybackLog::OnPlay, log.User()));
    ASSERT_NE(handles.back(), 0u);
    B().AudioOutPlay(handles.back(), 0);
    const uint32_t half = Open({"half.wma", false, 1, "", false});
    B().AudioOutPlay(half, 0);

    for (size_t i = 0; i < handles.size(); ++i) {
        if (!handles[i]) continue;
        const std::string what = i < 5 ? Describe(media[i]) : "the media directory";
        EXPECT_TRUE(log.WaitForCount(handles[i], BRIVANE_EVENT_COMMAND_FAILED, 1, kPatience)) << what;
        const std::vector<Heard> heard = log.Of(handles[i]);
        for (const Heard &h : heard) EXPECT_EQ(h.code, uint32_t(BRIVANE_EVENT_COMMAND_FAILED)) << what << ": " << Sequence(heard);
        B().AudioOutClose(handles[i]);
    }
    EXPECT_TRUE(log.WaitForFinish(half, kPatience)) << "half.wma: " << Sequence(log.Of(half));
    B().AudioOutClose(half);
    EXPECT_EQ(B().AudioOutSeek(0x7777, 100), 1u);
    Fence();
    EXPECT_EQ(Sequence(log.Of(0x7777)), "");
}

TEST_F(HostPlayback, DurationOfFilesAndZeroForTheRest) {
    const struct {
        const char *name;
        uint32_t expected, tolerance;
    } cases[] = {
        {"chirp.wav", kChirpMs, 0}, {"missing.wma", 0, 0},     {"chirp.wma", kChirpMs, 150},
        {"garbage.bin", 0, 0},      {"minutes.wma", 205500, 150}, {"chirp.mp3", kChirpMs, 150},
    };
    for (const auto &c : cases) {
        const uint32_t ms = B().GetWmaFileDuration(WidePath(c.name).c_str());
        EXPECT_LE(std::abs(double(ms) - double(c.expected)), double(c.tolerance)) << c.name << ": " << ms;
    }
}

}  // namespace
