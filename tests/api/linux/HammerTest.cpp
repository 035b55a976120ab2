// Eight host threads call every export in a seeded random order for BRIVANE_HAMMER_SECONDS (20 by default).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>

#include "HostHarness.h"
#include "PlaybackMedia.h"

namespace {

// Checks each delivery on arrival: one callback at a time on one thread, well-formed, none after its close returned.
class HammerLog {
public:
    static void BRIVANE_CALL OnPlay(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *payload,
                                    uint32_t size) {
        HammerLog *log = reinterpret_cast<HammerLog *>(user);
        log->Check(handle,
                   code >= 1 && code <= 6 && (code != BRIVANE_EVENT_FORMAT || size == 18) &&
                       (code != BRIVANE_EVENT_DATA || (payload && size > 0)),
                   true);
        // A host that closes its instance at the end, from inside the callback.
        if (code == BRIVANE_EVENT_END) log->Close(handle, AudioOutClose);
        log->m_inCallback--;
    }
    static void BRIVANE_CALL OnCapture(uint32_t handle, BRIVANE_USER user, uint32_t code, uint32_t, uint32_t,
                                       const void *, uint32_t) {
        HammerLog *log = reinterpret_cast<HammerLog *>(user);
        // A capture's last buffers and its end still come after its close.
        log->Check(handle, code >= 1 && code <= 5, false);
        log->m_inCallback--;
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    // Opens under the log's lock, so an event of a reissued handle is never taken for a closed one's.
    template <typename Opener>
    void Open(std::vector<uint32_t> &own, Opener open) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (const uint32_t handle = open()) {
            m_closed.erase(handle);
            own.push_back(handle);
        }
    }
    void Close(uint32_t handle, void(BRIVANE_CALL *close)(uint32_t)) {
        close(handle);
        std::lock_guard<std::mutex> guard(m_lock);
        m_closed.insert(handle);
    }

    std::atomic<long> m_events{0};
    std::vector<std::string> m_faults;

private:
    void Check(uint32_t handle, bool wellFormed, bool closedMeansNoMore) {
        const bool overlapping = m_inCallback++ != 0;
        ++m_events;
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_service == std::thread::id()) m_service = std::this_thread::get_id();
        std::string fault;
        if (overlapping) fault = "two callbacks at once";
        if (m_service != std::this_thread::get_id()) fault = "a callback on another thread";
        if (!wellFormed) fault = "a malformed event";
        if (closedMeansNoMore && m_closed.count(handle)) fault = "an event after its close returned";
        if (!fault.empty() && m_faults.size() < 20)
            m_faults.push_back(fault + " (handle " + std::to_string(handle) + ")");
    }

    std::mutex m_lock;
    std::set<uint32_t> m_closed;
    std::thread::id m_service;
    std::atomic<int> m_inCallback{0};
};

void BRIVANE_CALL IgnorePcm(uint32_t, BRIVANE_USER, uint32_t, const void *, uint32_t) {}

// One host thread; InitBrivane and UnInitBrivane go through serialLock, as the library asks hosts to serialise them.
long RunHost(int index, unsigned seed, std::chrono::steady_clock::time_point end, HammerLog &log,
             std::mutex &serialLock) {
    std::mt19937 random(seed + static_cast<unsigned>(index));
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<uint32_t> players, recorders;
    int inits = 0;
    long calls = 0;
    const std::string wavOut = MediaDirectory() + "/hammer-" + std::to_string(index) + ".wav";
    const BrivaneWaveFormat capture = Pcm(1, 16000, 16);
    const HostText profile = SpeechProfile();
    const Medium &wav = MediumNamed("tone.wav");
    const Medium *sources[] = {&wav, &MediumNamed("tone.wma"), &MediumNamed("tone.mp3")};
    volatile uint32_t cancel = 0;
    auto any = [&](const std::vector<uint32_t> &own) {
        return own.empty() || pick(8) == 0 ? random() % 0x10000 : own[pick(static_cast<int>(own.size()))];
    };
    auto dropFrom = [&](std::vector<uint32_t> &own, void(BRIVANE_CALL * close)(uint32_t)) {
        if (own.empty()) return;
        const size_t at = static_cast<size_t>(pick(static_cast<int>(own.size())));
        log.Close(own[at], close);
        own.erase(own.begin() + static_cast<long>(at));
    };
    for (; std::chrono::steady_clock::now() < end; ++calls) {
        const Medium &medium = *sources[pick(3)];
        const uint32_t mode = &medium == &wav && pick(2) ? BRIVANE_MODE_WAVE : BRIVANE_MODE_DECODE;
        switch (pick(25)) {
        case 0: {
            std::lock_guard<std::mutex> guard(serialLock);
            inits += InitBrivane() == 1;
            break;
        }
        case 1: {
            std::lock_guard<std::mutex> guard(serialLock);
            if (inits > 0 && inits--) UnInitBrivane();
            break;
        }
        case 2:
        case 3:
            if (players.size() < 3) {
                log.Open(players, [&] {
                    return pick(2) ? AudioOutFileOpen(mode, medium.widePath.c_str(), &HammerLog::OnPlay, log.User())
                                   : AudioOutOpen(mode, medium.image.data(), static_cast<int32_t>(medium.image.size()),
                                                  &HammerLog::OnPlay, log.User());
                });
            }
            break;
        case 4: dropFrom(players, AudioOutClose); break;
        case 5:
        case 6: AudioOutPlay(any(players), static_cast<uint32_t>(pick(3) == 0)); break;
        case 7: AudioOutSeek(any(players), static_cast<uint32_t>(pick(2000))); break;
        case 8: AudioOutSetVolume(any(players), static_cast<uint32_t>(pick(120))); break;
        case 9:
            AudioOutSetDuration(any(players), static_cast<uint32_t>(pick(800)), pick(2) ? BRIVANE_TO_END : 1500u);
            break;
        case 10: AudioOutSetSpeed(any(players), pick(2) ? 150 : 100 - pick(3) * 25); break;
        case 11: AudioOutSetEventMask(any(players), random()); break;
        case 12: AudioOutGetWholeDuration(any(players)); break;
        case 13:
            if (recorders.empty()) {
                log.Open(recorders, [&] {
                    return AudioInOpen(BRIVANE_KIND_AUDIO, &capture, profile.c_str(), &HammerLog::OnCapture,
                                       log.User());
                });
            }
            break;
        case 14: AudioInStart(any(recorders), static_cast<uint32_t>(pick(4) == 0)); break;
        case 15: AudioInStop(any(recorders)); break;
        case 16: dropFrom(recorders, AudioInClose); break;
        case 17: AudioInSetVolume(0, 0); break;
        case 18:
            if (pick(8) == 0)
                Convert(BRIVANE_KIND_WAV, wavOut.c_str(), BRIVANE_KIND_WMA, sources[1]->path.c_str(), nullptr);
            break;
        case 19:
            cancel = static_cast<uint32_t>(pick(2));
            if (pick(4) == 0) GetAudioPCM(BRIVANE_KIND_AUDIO, medium.path.c_str(), 200, 700, &IgnorePcm, 0, &cancel);
            break;
        case 20: GetWmaFileDuration(medium.widePath.c_str()); break;
        case 21:
        case 22: {
            uint32_t samples = 0;
            BrivaneWaveFormat format{};
            AudioWavFreeData(AudioWavGetData(wav.widePath.c_str(), &samples, &format, 0));
            break;
        }
        case 23: {
            // A host that closes at once: the close may come before the open has run.
            static const char image[8] = {};
            std::vector<uint32_t> burst;
            log.Open(burst, [&] {
                return pick(2) ? AudioOutFileOpen(1, Path("missing.wma").c_str(), &HammerLog::OnPlay, log.User())
                               : AudioOutOpen(1, image, sizeof image, &HammerLog::OnPlay, log.User());
            });
            for (uint32_t handle : burst) {
                AudioOutPlay(handle, pick(3) == 0);
                AudioOutSeek(handle, 1);
                log.Close(handle, pick(5) ? AudioOutClose : AudioInClose);
            }
            break;
        }
        default: std::this_thread::sleep_for(std::chrono::milliseconds(pick(5))); break;
        }
    }
    while (!players.empty()) dropFrom(players, AudioOutClose);
    while (!recorders.empty()) dropFrom(recorders, AudioInClose);
    std::lock_guard<std::mutex> guard(serialLock);
    for (; inits > 0; --inits) UnInitBrivane();
    return calls;
}

TEST(Hammer, EightHostThreadsCallEveryExportInRandomOrder) {
    const int seconds = EnvInt("BRIVANE_HAMMER_SECONDS", 20);
    const unsigned seed = static_cast<unsigned>(EnvInt("BRIVANE_HAMMER_SEED", 18));
    ASSERT_EQ(1u, InitBrivane());
    HammerLog log;
    std::mutex serialLock;
    std::atomic<long> calls{0};
    // A deadlock fails the run instead of hanging it: the hosts have their time plus three minutes.
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        if (!WaitUntil([&] { return done.load(); }, (seconds + 180) * 1000)) std::abort();
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::vector<std::thread> hosts;
    for (int i = 0; i < 8; ++i) hosts.emplace_back([&, i] { calls += RunHost(i, seed, end, log, serialLock); });
    for (std::thread &host : hosts) host.join();
    // Late events of closed instances would arrive now.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Every entry has been freed: a hundred opens fit again, and not one more.
    std::vector<uint32_t> handles;
    WaitUntil([&] {
        if (const uint32_t handle = AudioOutFileOpen(1, Path("x").c_str(), nullptr, 0)) handles.push_back(handle);
        return handles.size() == 100;
    });
    EXPECT_EQ(100u, handles.size());
    EXPECT_EQ(0u, AudioOutFileOpen(1, Path("x").c_str(), nullptr, 0)) << "the 101st open";
    UnInitBrivane();
    done = true;
    watchdog.join();

    std::printf("hammer: seed %u, %ld export calls and %ld events in %d s\n", seed, calls.load(), log.m_events.load(),
                seconds);
    EXPECT_GT(log.m_events, 0);
    for (const std::string &fault : log.m_faults) ADD_FAILURE() << fault;
}

}  // namespace
